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
    int exitStatus = -1;  // the exit code, or 128 + signal
    std::string out;
    std::string err;
};

struct RunOptions {
    // Set (or, with an empty value, removed) on top of this process's environment.
    std::vector<std::pair<std::string, std::string>> env;
    // When standard output first contains signalWhen, the child gets `signal`
    // (Ctrl-C once the program runs); at closeOutputWhen the reader closes
    // its end (as `| head` does).
    std::string signalWhen;
    int signal = 0;
    std::string closeOutputWhen;
    std::string cwd;  // empty: this process's
    // A hung program is killed after this long and fails its test.
    int timeoutMs = 30000;
};

// A running program (a server, or one run to its end by RunProgram): stopped,
// and killed if it will not stop, at the latest at destruction.
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
    // Sends `signal` (none when 0), reads to the end (SIGKILL after the
    // time-out) and returns what it wrote and its status.
    ProgramResult Stop(int signal = SIGTERM, int timeoutMs = 10000);

private:
    friend ProgramResult RunProgram(const std::string&, const std::vector<std::string>&, const RunOptions&);
    bool Read(int timeoutMs);  // false once both pipes are closed
    RunOptions options_;
    pid_t pid_ = 0;
    int fds_[2] = {-1, -1};
    std::string out_, err_;
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options = {});

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vkstest
