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
        return out + error_name;
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

VokriSceneFileError* to_c_error(const Failure& f) noexcept {
    try {
        const std::string text = f.text();
        const std::string* strings[] = {&f.item_kind, &f.error_name, &f.file, &f.json_path, &f.message, &text};
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
