#include "failure.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vokri_scenefile {

std::string Failure::text() const {
    std::string out = frame >= 0 ? "frame " + std::to_string(frame) + ": " : "";
    auto part = [&out](const std::string& s) {
        if (!s.empty()) out += s + ": ";
    };
    switch (status) {
    case VOKRI_SCENEFILE_RENDER_FAILED:
        part(file);
        if (item_index >= 0) out += "items[" + std::to_string(item_index) + "] (" + item_kind + "): ";
        return out + (error_name.empty() ? message : error_name);
    case VOKRI_SCENEFILE_BAD_SCENE:
        part(file);
        part(json_path);
        return out + message;
    default:
        return out + message;
    }
}

Failure bad_arguments(std::string message) {
    Failure f;
    f.status = VOKRI_SCENEFILE_BAD_ARGUMENTS;
    f.message = std::move(message);
    return f;
}

Failure output_failed(std::string file, std::string message) {
    Failure f;
    f.status = VOKRI_SCENEFILE_OUTPUT_FAILED;
    f.file = std::move(file);
    f.message = std::move(message);
    return f;
}

namespace {

// The length of the UTF-8 sequence starting at s[i] (1 to 4), or 0 when the
// bytes there are not one.
size_t sequence_length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

// `s` with every byte that is not part of valid UTF-8 written as \xHH, so
// that messages about bad input are themselves good text.
std::string valid_utf8(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (const size_t n = sequence_length(s, i)) {
            out.append(s, i, n);
            i += n;
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            const auto c = static_cast<unsigned char>(s[i++]);
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

VokriSceneFileError* to_c_error(const Failure& f) noexcept {
    try {
        const std::string kind = valid_utf8(f.item_kind), name = valid_utf8(f.error_name),
                          file = valid_utf8(f.file), path = valid_utf8(f.json_path),
                          message = valid_utf8(f.message), text = valid_utf8(f.text());
        const std::string* strings[] = {&kind, &name, &file, &path, &message, &text};
        size_t size = sizeof(VokriSceneFileError);
        for (const std::string* s : strings) size += s->size() + 1;
        auto* e = static_cast<VokriSceneFileError*>(std::calloc(1, size));
        if (!e) return nullptr;
        char* at = reinterpret_cast<char*>(e + 1);
        const char* copies[6];
        for (size_t i = 0; i < 6; ++i) {
            std::memcpy(at, strings[i]->c_str(), strings[i]->size() + 1);
            copies[i] = at;
            at += strings[i]->size() + 1;
        }
        e->status = f.status;
        e->render_error = f.render_error;
        e->frame = f.frame;
        e->item_index = f.item_index;
        e->item_kind = copies[0];
        e->error_name = copies[1];
        e->file = copies[2];
        e->json_path = copies[3];
        e->message = copies[4];
        e->text = copies[5];
        return e;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vokri_scenefile
