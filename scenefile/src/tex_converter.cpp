#include "tex_converter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "text_hash.h"

extern char** environ;

namespace vokri_scenefile {

namespace {

constexpr int kFormulaTimeoutMs = 10'000;
constexpr int kStartTimeoutMs = 60'000;  // Node loading MathJax, on a busy machine
constexpr size_t kMaxReplyBytes = size_t{64} << 20;
constexpr size_t kStderrTail = 2000;

bool is_file(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

std::string setup_hint(const std::string& dir) {
    return "run `npm ci` in " + dir + " (it needs Node.js and npm: apt-get install nodejs npm)";
}

// The folders the converter may be in, most specific first.
std::vector<std::filesystem::path> converter_folders() {
    std::vector<std::filesystem::path> out;
    if (const char* dir = std::getenv("VOKRI_TEX_CONVERTER"); dir && *dir) out.emplace_back(dir);
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&converter_folders), &info) != 0 && info.dli_fname) {
        std::error_code ec;
        const auto lib = std::filesystem::canonical(info.dli_fname, ec);
        if (!ec) out.push_back(lib.parent_path().parent_path() / "share" / "vokri" / "tex");
    }
#ifdef VOKRI_TEX_SOURCE_DIR
    out.emplace_back(VOKRI_TEX_SOURCE_DIR);
#endif
    return out;
}

std::string file_text(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The line of a process's standard error that says what went wrong: the
// last that names an error (Node ends a crash with its version), else the
// last line.
std::string telling_line(const std::string& text) {
    std::string last, error;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) {
            last = line;
            if (line.find("Error") != std::string::npos) error = line;
        }
        start = end + 1;
    }
    return error.empty() ? last : error;
}

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// The Node process: its socket (standard input and output) and its
// standard error, kept as a short tail for the message when it stops.
class NodeProcess {
public:
    static Result<std::unique_ptr<NodeProcess>, std::string> start(const std::string& script) {
        const char* env_node = std::getenv("VOKRI_NODE");
        const std::string node = env_node && *env_node ? env_node : "node";
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            return failed(std::string("cannot start the TeX converter: ") + std::strerror(errno));
        Fd ours(sv[0]), theirs(sv[1]);
        int ep[2];
        if (::pipe2(ep, O_CLOEXEC) != 0)
            return failed(std::string("cannot start the TeX converter: ") + std::strerror(errno));
        Fd err_read(ep[0]), err_write(ep[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, theirs.fd, 0);
        posix_spawn_file_actions_adddup2(&actions, theirs.fd, 1);
        posix_spawn_file_actions_adddup2(&actions, err_write.fd, 2);
        std::vector<std::string> args{node, "--no-warnings", script};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        const int rc = ::posix_spawnp(&pid, node.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        theirs.reset();  // the child's ends: its exit must read as the end of the socket
        err_write.reset();
        if (rc != 0) {
            if (rc == ENOENT)
                return failed("Node.js (" + node + ") is not installed; tex items need it: apt-get install nodejs npm");
            return failed("cannot start Node.js (" + node + "): " + std::strerror(rc));
        }
        ::fcntl(err_read.fd, F_SETFL, O_NONBLOCK);
        ::fcntl(ours.fd, F_SETFL, O_NONBLOCK);
        auto p = std::unique_ptr<NodeProcess>(new NodeProcess(pid, ours.fd, err_read.fd));
        ours.fd = -1;
        err_read.fd = -1;
        // The script says it is ready once MathJax is loaded.
        auto ready = p->exchange("", kStartTimeoutMs, "starting");
        if (!ready) return failed(ready.error());
        return p;
    }

    NodeProcess(const NodeProcess&) = delete;
    NodeProcess& operator=(const NodeProcess&) = delete;

    // Lets go of a process this one did not start (a copy made by fork):
    // its descriptors close, the process is left to its parent.
    void abandon() noexcept {
        socket_.reset();
        err_.reset();
        pid_ = -1;
    }

    ~NodeProcess() {
        socket_.reset();
        err_.reset();
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }

    // Sends one request line and waits for the reply line.
    Result<std::string, std::string> ask(const std::string& line) {
        return exchange(line + "\n", kFormulaTimeoutMs, "on this formula");
    }

    // Sends `bytes` (none: only waits) and reads one line, within
    // `timeout_ms` for both.
    Result<std::string, std::string> exchange(const std::string& bytes, int timeout_ms, const char* doing) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        size_t sent = 0;
        while (true) {
            if (const size_t nl = pending_.find('\n'); nl != std::string::npos && sent == bytes.size()) {
                std::string reply = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return reply;
            }
            if (pending_.size() > kMaxReplyBytes)
                return failed(std::string("the TeX converter's answer is larger than 64 MiB"));
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return failed("the TeX converter took longer than " + std::to_string(timeout_ms / 1000) +
                                       " s " + doing);
            const short events = static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0));
            pollfd fds[2] = {{socket_.fd, events, 0}, {err_.fd, POLLIN, 0}};
            const int n = ::poll(fds, err_.fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (n < 0 && errno != EINTR) return failed(stopped());
            if (n <= 0) continue;
            if (fds[1].revents) drain_stderr();
            if ((fds[0].revents & POLLOUT) && !send_some(bytes, sent)) return failed(stopped());
            if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !read_some()) return failed(stopped());
        }
    }

private:
    NodeProcess(pid_t pid, int socket, int err) : pid_(pid), socket_(socket), err_(err) {}

    bool send_some(const std::string& bytes, size_t& sent) {
        const ssize_t n = ::send(socket_.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
        sent += static_cast<size_t>(n);
        return true;
    }

    bool read_some() {
        char buffer[1 << 16];
        const ssize_t n = ::read(socket_.fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n <= 0) return false;
        pending_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    void drain_stderr() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(err_.fd, buffer, sizeof buffer)) > 0) {
            tail_.append(buffer, static_cast<size_t>(n));
            if (tail_.size() > kStderrTail) tail_.erase(0, tail_.size() - kStderrTail);
        }
        if (n == 0) err_.reset();
    }

    // Why the process stopped answering: its exit status and what it said
    // on standard error (the error line when there is one, else the last).
    std::string stopped() {
        if (err_.fd >= 0) drain_stderr();
        std::string why = "the TeX converter stopped";
        if (pid_ <= 0) return why;
        ::kill(pid_, SIGKILL);
        int status = 0;
        if (::waitpid(pid_, &status, 0) == pid_) {
            if (WIFEXITED(status)) why += " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
            else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
                why += " (signal " + std::to_string(WTERMSIG(status)) + ")";
            pid_ = -1;
        }
        const std::string said = telling_line(tail_);
        if (!said.empty()) why += ": " + said;
        return why;
    }

    pid_t pid_;
    Fd socket_;
    Fd err_;
    std::string pending_;
    std::string tail_;
};

// The one converter process of this process, started on demand.
class Converter {
public:
    Result<std::string, TexFailure> convert(const std::string& script, const TexRequest& request) {
        const std::lock_guard lock(mutex_);
        if (process_ && owner_ != ::getpid()) {  // inherited through fork: the parent's
            process_->abandon();
            process_.reset();
        }
        if (!process_ || script_ != script) {
            process_.reset();
            auto started = NodeProcess::start(script);
            if (!started) return failed(TexFailure{started.error(), false});
            process_ = std::move(*started);
            script_ = script;
            owner_ = ::getpid();
        }
        const std::string line = nlohmann::json{{"tex", request.tex}, {"display", request.display}}.dump(
            -1, ' ', false, nlohmann::json::error_handler_t::replace);
        auto reply = process_->ask(line);
        if (!reply) {
            process_.reset();  // a new one for the next formula
            return failed(TexFailure{reply.error(), true});
        }
        return read_reply(*reply);
    }

private:
    Result<std::string, TexFailure> read_reply(const std::string& text) {
        const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
        if (j.is_object()) {
            if (const auto it = j.find("svg"); it != j.end() && it->is_string()) return it->get<std::string>();
            if (const auto it = j.find("error"); it != j.end() && it->is_string())
                return failed(TexFailure{it->get<std::string>(), true});
        }
        process_.reset();
        return failed(TexFailure{"the TeX converter answered something other than its protocol", true});
    }

    std::mutex mutex_;
    std::unique_ptr<NodeProcess> process_;
    std::string script_;
    pid_t owner_ = -1;  // the process that started process_
};

Converter& converter() {
    // Never destroyed: frames may convert formulas while the process exits.
    // The process ends by itself when its socket closes with this one.
    static Converter* c = new Converter;
    return *c;
}

}  // namespace

Result<TexConverterFiles, std::string> find_tex_converter() {
    const auto folders = converter_folders();
    for (const auto& dir : folders) {
        if (!is_file(dir / "convert.mjs")) continue;
        if (!is_file(dir / "node_modules" / "mathjax-full" / "package.json"))
            return failed("the TeX converter's packages are not installed: " + setup_hint(dir.string()));
        const uint64_t h = fnv1a(file_text(dir / "package-lock.json"), fnv1a(file_text(dir / "convert.mjs")));
        return TexConverterFiles{dir.string(), hex64(h)};
    }
    std::string looked;
    for (const auto& dir : folders) looked += (looked.empty() ? "" : ", ") + dir.string();
    return failed("the TeX converter (convert.mjs) is not installed; looked in " +
                           (looked.empty() ? std::string("no folder") : looked) +
                           "; set VOKRI_TEX_CONVERTER to its folder");
}

Result<std::string, TexFailure> convert_tex(const TexConverterFiles& files, const TexRequest& request) {
    return converter().convert((std::filesystem::path(files.dir) / "convert.mjs").string(), request);
}

}  // namespace vokri_scenefile
