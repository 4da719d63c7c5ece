#include "output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vokri_scenefile {

namespace {

std::string temp_template(const std::string& target) {
    if (target == "-") {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/vokri-render.XXXXXX";
    }
    const std::filesystem::path t(target);
    std::string name = ".";
    name += t.filename().string();
    name += ".tmp.XXXXXX";
    return (t.parent_path() / name).string();
}

// The umask can only be read by setting it: read once, not while frame
// workers may be creating files.
mode_t read_umask() {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

// Read when the library is loaded, before any thread of the caller's can be
// making files through it.
const mode_t g_umask = read_umask();

mode_t process_umask() { return g_umask; }

bool copy_to_stdout(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    std::vector<char> buf(1 << 16);
    bool ok = true;
    while (size_t n = std::fread(buf.data(), 1, buf.size(), in))
        if (std::fwrite(buf.data(), 1, n, stdout) != n) {
            ok = false;
            break;
        }
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    return std::fflush(stdout) == 0 && ok;
}

}  // namespace

OutputFile::~OutputFile() {
    if (!temp_.empty() && !(committed_ && target_ != "-")) ::unlink(temp_.c_str());
}

bool OutputFile::open(std::string& error) {
    std::string path = temp_template(target_);
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        error = "cannot create " + (target_ == "-" ? path : target_) + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    temp_ = path;
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (target_ == "-") {
        committed_ = copy_to_stdout(temp_);
        if (!committed_) error = std::string("cannot write standard output: ") + std::strerror(errno);
        return committed_;
    }
    // mkstemp creates the file for its owner alone; give it the usual mode.
    (void)::chmod(temp_.c_str(), 0666 & ~process_umask());
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = "cannot write " + target_ + ": " + std::strerror(errno);
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace vokri_scenefile
