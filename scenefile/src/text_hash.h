// A 64-bit FNV-1a hash of bytes and its 16 hex digits: names for cached
// files, whose contents are checked against the full key when read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vokri_scenefile {

inline uint64_t fnv1a(std::string_view bytes, uint64_t h = 0xcbf29ce484222325ull) {
    for (const unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

inline std::string hex64(uint64_t v) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<size_t>(i)] = digits[v & 15];
    return out;
}

}  // namespace vokri_scenefile
