#include "run_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vkstest {

namespace {

// Starts the program with its standard output and error on pipes (returned
// in out[0] and out[1]); 0 and `error` set when it cannot start.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const RunOptions& options, int fds[2],
            std::string* error) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return 0;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return 0;
    }

    // The child's environment: ours, with the options' changes.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : options.env)
            if (entry.rfind(name + "=", 0) == 0) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : options.env)
        if (!value.empty()) env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        *error = std::string("cannot start ") + program + ": " + std::strerror(spawned);
        return 0;
    }
    fds[0] = outPipe[0];
    fds[1] = errPipe[0];
    return pid;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options) {
    ProgramResult result;
    int pipes[2];
    const pid_t pid = Spawn(program, args, options, pipes, &result.err);
    if (pid == 0) return result;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
    bool signalled = false, killed = false;
    pollfd fds[2] = {{pipes[0], POLLIN, 0}, {pipes[1], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            if (!killed) kill(pid, SIGKILL);
            killed = true;
        }
        const int ready = poll(fds, 2, killed ? 1000 : static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
        if (fds[0].fd >= 0 && !options.closeOutputWhen.empty() &&
            result.out.find(options.closeOutputWhen) != std::string::npos) {
            close(fds[0].fd);
            fds[0].fd = -1;
            --open;
        }
        if (!signalled && options.signal != 0 && !options.signalWhen.empty() &&
            result.out.find(options.signalWhen) != std::string::npos) {
            kill(pid, options.signal);
            signalled = true;
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (killed) result.err += "\n(killed after the time-out)";
    return result;
}

Program::Program(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    pid_ = Spawn(program, args, options, fds_, &err_);
}

Program::~Program() { Stop(SIGKILL); }

bool Program::Read(int timeoutMs) {
    if (fds_[0] < 0 && fds_[1] < 0) return false;
    pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) return ready == 0 || errno == EINTR;
    bool open = false;
    for (int i = 0; i < 2; ++i) {
        if (fds_[i] < 0) continue;
        if (fds[i].revents & (POLLIN | POLLHUP)) {
            char buffer[4096];
            const ssize_t n = read(fds_[i], buffer, sizeof buffer);
            if (n <= 0) {
                close(fds_[i]);
                fds_[i] = -1;
                continue;
            }
            (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(n));
        }
        open = true;
    }
    return open;
}

bool Program::WaitForOutput(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out_.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || pid_ == 0 || !Read(static_cast<int>(left))) return out_.find(text) != std::string::npos;
    }
    return true;
}

ProgramResult Program::Stop(int signal, int timeoutMs) {
    ProgramResult result;
    if (pid_ != 0) {
        kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while ((fds_[0] >= 0 || fds_[1] >= 0) && std::chrono::steady_clock::now() < deadline && Read(200)) {
        }
        if (fds_[0] >= 0 || fds_[1] >= 0) kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = 0;
    }
    for (int& fd : fds_)
        if (fd >= 0) close(fd), fd = -1;
    result.out = out_;
    result.err = err_;
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

namespace {

class JsonChecker {
public:
    explicit JsonChecker(const std::string& text) : s_(text) {}

    bool Document(std::string* error) {
        Space();
        const bool ok = Value(0) && (Space(), pos_ == s_.size());
        if (!ok && error) *error = "not JSON at byte " + std::to_string(pos_);
        return ok;
    }

private:
    void Space() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }
    bool Eat(char c) {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Literal(const char* word) {
        const size_t n = std::strlen(word);
        if (s_.compare(pos_, n, word) != 0) return false;
        pos_ += n;
        return true;
    }
    bool Digits() {
        const size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }
    bool Number() {
        Eat('-');
        if (Eat('0')) {
        } else if (!Digits()) {
            return false;
        }
        if (Eat('.') && !Digits()) return false;
        if (Eat('e') || Eat('E')) {
            if (!Eat('+')) Eat('-');
            if (!Digits()) return false;
        }
        return true;
    }
    bool String() {
        if (!Eat('"')) return false;
        while (pos_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[pos_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (pos_ >= s_.size()) return false;
                const char e = s_[pos_++];
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i)
                        if (pos_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[pos_++]))) return false;
                } else if (!std::strchr("\"\\/bfnrt", e)) {
                    return false;
                }
            }
        }
        return false;
    }
    bool Value(int depth) {
        if (depth > 64 || pos_ >= s_.size()) return false;
        const char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            Space();
            if (Eat('}')) return true;
            do {
                Space();
                if (!String()) return false;
                Space();
                if (!Eat(':')) return false;
                Space();
                if (!Value(depth + 1)) return false;
                Space();
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++pos_;
            Space();
            if (Eat(']')) return true;
            do {
                Space();
                if (!Value(depth + 1)) return false;
                Space();
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') return String();
        if (c == 't') return Literal("true");
        if (c == 'f') return Literal("false");
        if (c == 'n') return Literal("null");
        return Number();
    }

    const std::string& s_;
    size_t pos_ = 0;
};

}  // namespace

bool IsJsonDocument(const std::string& text, std::string* error) { return JsonChecker(text).Document(error); }

}  // namespace vkstest
