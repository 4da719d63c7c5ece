#include "video_probe.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

extern char** environ;

namespace vokri_scenefile {

namespace {

// Runs argv[0] with standard output captured; nullopt unless it exits 0.
std::optional<std::string> run_captured(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int rc = ::posix_spawn(&child, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buf[1024];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            if (out.size() < 65536) out.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fds[0]);
    if (rc != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

bool format_has_alpha(const std::string& f) {
    return f.starts_with("yuva") || f.starts_with("rgba") || f.starts_with("bgra") || f.starts_with("argb") ||
           f.starts_with("abgr") || f.starts_with("ya") || f.starts_with("gbrap");
}

}  // namespace

std::optional<bool> video_has_alpha(const std::string& ffprobe, const std::string& file) {
    const auto out = run_captured({ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                                   "stream=pix_fmt:stream_tags=alpha_mode", "-of", "default=noprint_wrappers=1",
                                   file});
    if (!out) return std::nullopt;
    std::istringstream lines(*out);
    bool seen = false, alpha = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("pix_fmt=")) {
            seen = true;
            alpha = alpha || format_has_alpha(line.substr(8));
        } else if (line.find("alpha_mode=1") != std::string::npos) {
            alpha = true;
        }
    }
    if (!seen) return std::nullopt;
    return alpha;
}

}  // namespace vokri_scenefile
