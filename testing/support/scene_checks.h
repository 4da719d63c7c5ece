// The checks of one fuzz input: the bytes become one Scene call
// (scene_codec.h) that runs through all four Scene exports, and what must
// hold between the exports is checked:
//   - every call returns 0 or 1 (the harness never passes invalid arguments);
//   - the PNG export draws what rgb0 draws: same return code, and on success
//     the file decodes to rgb0's pixels;
//   - picking succeeds whenever rgba0 does (same surface format, same items),
//     and names an item of the list or the background.
// Shared by the fuzz target (which aborts on a failed check) and the
// regression test that replays the inputs the fuzzer found.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/scene_codec.h"
#include "support/scene.h"

namespace vfuzz {

inline std::string failure(const char* what, long a, long b) {
    return std::string(what) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

// Runs the input through the four exports, writing the PNG to `png_path`
// (removed afterwards). Returns the first failed check, or "" when all hold.
inline std::string check_scene_call(const uint8_t* data, size_t size, const std::string& png_path) {
    Call c;
    decode(data, size, c);
    const size_t n = size_t(c.width) * size_t(c.height);
    const uint32_t count = uint32_t(c.items.size());

    std::vector<uint32_t> rgba(n, 0xDEADBEEFu), rgb(n, 0xDEADBEEFu);
    int ra = c.rgba0(c.width, c.height, c.scale, rgba.data(), n);
    int rb = c.rgb0(c.width, c.height, c.scale, rgb.data(), n);
    int rf = c.frame(png_path.c_str(), c.width, c.height, c.scale);
    int32_t id = -1;
    int rp = c.pick(c.width, c.height, c.scale, c.probe_x, c.probe_y, &id);

    std::string bad;
    if (ra != 0 && ra != 1) bad = failure("rgba0 return code", ra, 0);
    else if (rb != 0 && rb != 1) bad = failure("rgb0 return code", rb, 0);
    else if (rf != 0 && rf != 1) bad = failure("frame return code", rf, 0);
    else if (rp != 0 && rp != 1) bad = failure("pick return code", rp, 0);
    else if (rf != rb) bad = failure("frame and rgb0 disagree", rf, rb);
    else if (ra == 0 && rp != 0) bad = failure("pick failed where rgba0 succeeded", rp, ra);
    else if (rp == 0 && (id < 0 || id > int32_t(count))) bad = failure("pick id out of range", id, count);
    else if (rf == 0) {
        vt::DecodedPng png = vt::decode_png(vt::read_file(png_path));
        if (!png.ok) {
            bad = failure("PNG does not decode", 0, 0);
        } else if (png.width != uint32_t(c.width) || png.height != uint32_t(c.height)) {
            bad = failure("PNG size", long(png.width), long(png.height));
        } else {
            for (size_t i = 0; i < n && bad.empty(); ++i) {
                uint32_t p = rgb[i];
                if (png.rgb[3 * i] != uint8_t(p) || png.rgb[3 * i + 1] != uint8_t(p >> 8) ||
                    png.rgb[3 * i + 2] != uint8_t(p >> 16))
                    bad = failure("PNG pixel differs from rgb0", long(i % size_t(c.width)),
                                  long(i / size_t(c.width)));
            }
        }
    }
    unlink(png_path.c_str());
    return bad;
}

}  // namespace vfuzz
