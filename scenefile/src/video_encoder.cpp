#include "video_encoder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

extern char** environ;

namespace vokri_scenefile {

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

std::string format_double(double d) {
    std::ostringstream s;
    s.precision(17);
    s << d;
    return s.str();
}

std::vector<std::string> ffmpeg_arguments(const VideoSettings& v) {
    std::vector<std::string> a = {v.ffmpeg, "-hide_banner", "-loglevel", "error", "-nostats", "-y",
                                  "-f", "rawvideo", "-pix_fmt", v.alpha ? "rgba" : "rgb0",
                                  "-s", std::to_string(v.width) + "x" + std::to_string(v.height),
                                  "-framerate", format_double(v.fps), "-i", "pipe:0"};
    switch (v.format) {
    case VideoFormat::mp4:
        // H.264 in 4:2:0 needs even sides.
        a.insert(a.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset", "veryfast",
                           "-crf", "18", "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-f", "mp4"});
        break;
    case VideoFormat::webm:
        a.insert(a.end(), {"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "realtime", "-cpu-used",
                           "8", "-row-mt", "1", "-pix_fmt", v.alpha ? "yuva420p" : "yuv420p", "-f", "webm"});
        break;
    case VideoFormat::mov:
        // ProRes 4444, 10-bit, with its alpha plane when the frames have one:
        // what video editors take for compositing.
        a.insert(a.end(), {"-c:v", "prores_ks", "-profile:v", "4444", "-pix_fmt",
                           v.alpha ? "yuva444p10le" : "yuv444p10le", "-f", "mov"});
        break;
    case VideoFormat::gif:
        a.insert(a.end(), {"-vf", "split[a][b];[a]palettegen[p];[b][p]paletteuse", "-f", "gif"});
        break;
    }
    a.push_back(v.output);
    return a;
}

// The last `n` lines of the file behind `fd`.
std::string last_lines(int fd, int n) {
    std::string text;
    char buf[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(got));
    while (!text.empty() && text.back() == '\n') text.pop_back();
    size_t pos = text.size();
    for (int i = 0; i < n && pos != std::string::npos && pos > 0; ++i) pos = text.rfind('\n', pos - 1);
    if (pos != std::string::npos && pos < text.size() && text[pos] == '\n') ++pos;
    if (pos == std::string::npos) pos = 0;
    std::string out;
    std::istringstream lines(text.substr(pos));
    for (std::string line; std::getline(lines, line);) out += "\n  ffmpeg: " + line;
    return out;
}

std::string describe_status(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("killed by signal ") + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

std::optional<VideoFormat> video_format_of(const std::string& path) {
    if (ends_with(path, ".mp4")) return VideoFormat::mp4;
    if (ends_with(path, ".webm")) return VideoFormat::webm;
    if (ends_with(path, ".mov")) return VideoFormat::mov;
    if (ends_with(path, ".gif")) return VideoFormat::gif;
    return std::nullopt;
}

std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

std::string find_ffmpeg() {
    if (const char* e = std::getenv("VOKRI_FFMPEG"); e && *e) return ::access(e, X_OK) == 0 ? e : "";
    return find_program("ffmpeg");
}

std::string find_ffprobe(const std::string& ffmpeg) {
    const size_t slash = ffmpeg.rfind('/');
    if (slash != std::string::npos) {
        const std::string beside = ffmpeg.substr(0, slash + 1) + "ffprobe";
        if (::access(beside.c_str(), X_OK) == 0) return beside;
    }
    return find_program("ffprobe");
}

VideoEncoder::~VideoEncoder() { stop(); }

bool VideoEncoder::start(const VideoSettings& settings, std::string& error) {
    char log_name[] = "/tmp/vokri-ffmpeg.XXXXXX";
    log_ = ::mkostemp(log_name, O_CLOEXEC);
    if (log_ < 0) {
        error = std::string("cannot create a log file for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    ::unlink(log_name);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, log_, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own process group: Ctrl-C reaches this tool, which then ends the
    // stream itself; default signal actions, whatever this tool ignores.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    const std::vector<std::string> args = ffmpeg_arguments(settings);
    std::vector<char*> argv;
    for (const auto& s : args) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&child_, settings.ffmpeg.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[0]);
    if (rc != 0) {
        child_ = -1;
        ::close(fds[1]);
        error = "cannot run " + settings.ffmpeg + ": " + std::strerror(rc);
        return false;
    }
    pipe_ = fds[1];
    return true;
}

bool VideoEncoder::write_frame(const void* pixels, size_t bytes, std::string& error) {
    const auto* p = static_cast<const char*>(pixels);
    while (bytes > 0) {
        const ssize_t n = ::write(pipe_, p, bytes);
        if (n < 0 && errno == EINTR) continue;  // a signal; the caller decides whether to stop
        if (n < 0) {
            const std::string ended = end_stream();
            error = "ffmpeg stopped reading frames" + (ended.empty() ? std::string() : ": " + ended);
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool VideoEncoder::finish(std::string& error) {
    error = end_stream();
    return error.empty();
}

std::string VideoEncoder::end_stream() {
    ::close(pipe_);
    pipe_ = -1;
    const int status = wait_child();
    if (status == 0) return "";
    return "ffmpeg failed (" + describe_status(status) + ")" + last_lines(log_, 5);
}

int VideoEncoder::wait_child() {
    int status = 0;
    if (child_ <= 0) return -1;  // already waited for: the stream ended before (a failure)
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
    return status;
}

void VideoEncoder::stop() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    if (child_ > 0) {
        ::kill(child_, SIGTERM);
        wait_child();
    }
    if (log_ >= 0) ::close(log_);
    log_ = -1;
}

}  // namespace vokri_scenefile
