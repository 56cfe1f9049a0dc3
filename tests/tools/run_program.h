// Runs a program as a person would: a fresh process with real arguments,
// its standard output and error captured, its exit status returned.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace vkstest {

struct ProgramResult {
    int exitStatus = -1;   // the exit code, or 128 + signal
    std::string out;
    std::string err;
};

struct RunOptions {
    // Variables set (or, with an empty value, removed) in the child's
    // environment on top of this process's.
    std::vector<std::pair<std::string, std::string>> env;
    // When standard output first contains this text, the child gets
    // `signal` (as a person pressing Ctrl-C once the program is running).
    std::string signalWhen;
    int signal = 0;
    // The child's working folder (empty: this process's).
    std::string cwd;
    // When standard output first contains this text, the reader closes it
    // (as `| head` does after its lines).
    std::string closeOutputWhen;
    // The child is killed after this long (a hung program fails the test
    // instead of hanging the suite).
    int timeoutMs = 30000;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options = {});

// A program left running while a test talks to it (a server): started at
// construction, stopped (and killed if it will not stop) by Stop or at
// destruction, so that nothing it started outlives the test.
class Program {
public:
    Program(const std::string& program, const std::vector<std::string>& args, const RunOptions& options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // Reads its output until standard output contains `text`; false when it
    // does not within the time or the program ends first.
    bool WaitForOutput(const std::string& text, int timeoutMs);
    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    // Sends `signal`, waits for the end (SIGKILL after the time-out) and
    // returns what it wrote and its status.
    ProgramResult Stop(int signal = SIGTERM, int timeoutMs = 10000);

private:
    bool Read(int timeoutMs);  // false when both pipes are closed
    pid_t pid_ = 0;
    int fds_[2] = {-1, -1};
    std::string out_, err_;
};

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// True when `text` is one well-formed JSON document (RFC 8259) and nothing
// else but white space; `error` says where it is not.
bool IsJsonDocument(const std::string& text, std::string* error = nullptr);

}  // namespace vkstest
