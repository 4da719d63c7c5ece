#include "outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "output_file.h"
#include "png_write.h"
#include "render.h"

namespace vokri_scenefile {

namespace {

bool write_raw(const std::string& path, const std::vector<uint32_t>& pixels, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(pixels.data(), sizeof(uint32_t), pixels.size(), f) == pixels.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path + ": " + std::strerror(errno);
    return ok;
}

// Renders into the temporary file `temp` of the output `path`.
int32_t render_into(const VokriSceneRecords& r, int32_t mode, const std::string& temp, const std::string& path,
                    Failure& f) {
    if (mode == VOKRI_SCENEFILE_PNG) return render_png(r, temp, path, f);
    const bool rgba = mode != VOKRI_SCENEFILE_RGB0;
    std::vector<uint32_t> pixels(static_cast<size_t>(r.width > 0 ? r.width : 0) *
                                 static_cast<size_t>(r.height > 0 ? r.height : 0));
    if (const int32_t status = render_pixels(r, rgba, pixels.data(), pixels.size(), f); status != 0) return status;
    std::string error;
    const bool ok = mode == VOKRI_SCENEFILE_PNG_ALPHA
                        ? write_png_rgba(temp, static_cast<uint32_t>(r.width), static_cast<uint32_t>(r.height),
                                         pixels.data(), error)
                        : write_raw(temp, pixels, error);
    if (ok) return VOKRI_SCENEFILE_OK;
    f = output_failed(path, error);
    return f.status;
}

// The output `path`, whole or not at all: `fill` writes its temporary file
// and returns the status.
template <class Fill>
int32_t write_output(const std::string& path, Failure& f, Fill fill) {
    std::string error;
    if (!make_parent_folders(path, error)) {
        f = output_failed(path, error);
        return f.status;
    }
    OutputFile file(path);
    if (!file.open(error)) {
        f = output_failed(path, error);
        return f.status;
    }
    if (const int32_t status = fill(file.temp_path()); status != 0) return status;
    if (!file.commit(error)) {
        f = output_failed(path, error);
        return f.status;
    }
    return VOKRI_SCENEFILE_OK;
}

}  // namespace

bool make_parent_folders(const std::string& path, std::string& error) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty() || path == "-") return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec) return true;
    error = "cannot create the folder " + folder.string() + ": " + ec.message();
    return false;
}

int32_t render_file(const VokriSceneRecords& r, int32_t mode, const std::string& path, Failure& f) {
    if (mode < VOKRI_SCENEFILE_RGB0 || mode > VOKRI_SCENEFILE_PNG_ALPHA) {
        f = bad_arguments("unknown output mode " + std::to_string(mode));
        return f.status;
    }
    return write_output(path, f, [&](const std::string& temp) { return render_into(r, mode, temp, path, f); });
}

int32_t copy_output(const std::string& from, const std::string& path, Failure& f) {
    return write_output(path, f, [&](const std::string& temp) {
        std::error_code ec;
        std::filesystem::copy_file(from, temp, std::filesystem::copy_options::overwrite_existing, ec);
        if (!ec) return VOKRI_SCENEFILE_OK;
        f = output_failed(path, "cannot copy " + from + ": " + ec.message());
        return f.status;
    });
}

int32_t remove_stale_temporaries(const std::string& path) {
    const std::filesystem::path target(path);
    // Built in steps: g++ 12 warns falsely (-Wrestrict) about "." + name.
    std::string prefix = ".";
    prefix += target.filename().string();
    prefix += ".tmp.";
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    int32_t removed = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // mkstemp's six characters follow the prefix.
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) && it->is_regular_file(ec) &&
            std::filesystem::remove(it->path(), ec))
            ++removed;
    }
    return removed;
}

}  // namespace vokri_scenefile
