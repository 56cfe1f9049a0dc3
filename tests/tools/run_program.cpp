#include "run_program.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vkstest {

Program::Program(const std::string& program, const std::vector<std::string>& args, const RunOptions& options)
    : options_(options) {
    int outPipe[2], errPipe[2];
    // A test process out of descriptors has bigger problems than two leaked ones.
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return;
    // The child's environment: ours, with the options' changes.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const auto named = [e](const auto& change) { return std::string(*e).rfind(change.first + "=", 0) == 0; };
        if (std::none_of(options.env.begin(), options.env.end(), named)) env.push_back(*e);
    }
    for (const auto& [name, value] : options.env)
        if (!value.empty()) env.push_back(name + "=" + value);
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> envp{nullptr}, argv{nullptr};
    for (auto& e : env) envp.insert(envp.end() - 1, e.data());
    for (auto& a : argStore) argv.insert(argv.end() - 1, a.data());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    if (spawned != 0) {
        pid_ = 0;
        Stop(0);  // closes the pipes
        err_ = "cannot start " + program + ": " + std::strerror(spawned);
    }
}

Program::~Program() { Stop(SIGKILL); }

bool Program::Read(int timeoutMs) {
    if (fds_[0] < 0 && fds_[1] < 0) return false;
    pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) return ready == 0 || errno == EINTR;
    for (int i = 0; i < 2; ++i) {
        if (fds_[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[4096];
        const ssize_t n = read(fds_[i], buffer, sizeof buffer);
        if (n <= 0) {
            close(fds_[i]);
            fds_[i] = -1;
            continue;
        }
        (i == 0 ? out_ : err_).append(buffer, static_cast<size_t>(n));
    }
    if (!options_.closeOutputWhen.empty() && fds_[0] >= 0 && out_.find(options_.closeOutputWhen) != std::string::npos) {
        close(fds_[0]);
        fds_[0] = -1;
    }
    if (options_.signal != 0 && !options_.signalWhen.empty() && out_.find(options_.signalWhen) != std::string::npos) {
        kill(pid_, options_.signal);
        options_.signal = 0;  // once
    }
    return fds_[0] >= 0 || fds_[1] >= 0;
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
        if (signal != 0) kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline && Read(200)) {
        }
        if (fds_[0] >= 0 || fds_[1] >= 0) {
            kill(pid_, SIGKILL);
            err_ += "\n(killed after the time-out)";
        }
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

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args, const RunOptions& options) {
    Program p(program, args, options);
    return p.Stop(0, options.timeoutMs);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace vkstest
