// Command-line arguments: the global options in front of the command and
// the options of each command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vksctl {

struct GlobalOptions {
    bool json = false;
    std::string logLevel;    // --log-level (empty: the registry's own)
    std::string registry;    // --registry FILE
    std::string simConfig;   // --sim-config FILE
    bool help = false;
    bool version = false;    // --version
};

// The arguments of one command. Options are taken out as the command asks
// for them; whatever is left at Finish() is an error.
class Args {
public:
    Args(std::string command, std::vector<std::string> args) : command_(std::move(command)), args_(std::move(args)) {}

    const std::string& Command() const { return command_; }
    // "--name" present (removed).
    bool Flag(const std::string& name);
    // "--name VALUE" or "--name=VALUE" (removed); a missing value is an error.
    std::optional<std::string> Value(const std::string& name);
    // The same, as numbers; a value that is not one is an error.
    std::optional<uint32_t> U32(const std::string& name);
    std::optional<double> Seconds(const std::string& name);
    // Every "--name VALUE" (removed), for options that may repeat.
    std::vector<std::string> Values(const std::string& name);
    // The next positional argument (removed), if any.
    std::optional<std::string> Positional();
    // Fails on anything not taken. True when all is well.
    bool Finish();
    // The first problem found, as one line (empty when none).
    const std::string& Error() const { return error_; }
    bool Failed() const { return !error_.empty(); }
    void SetError(const std::string& message) {
        if (error_.empty()) error_ = message;
    }

private:
    std::string command_;
    std::vector<std::string> args_;
    std::string error_;
};

// Decimal or 0x-prefixed hexadecimal; false for anything else.
bool ParseU32(const std::string& text, uint32_t* value);
bool ParseSeconds(const std::string& text, double* value);
// A number, but beyond 32 bits: said so rather than "not a number".
bool IsTooLarge(const std::string& text);

// Parses the global options in front of the command; returns the index of
// the command word (argc when there is none) or -1 after printing an error.
int ParseGlobalOptions(int argc, char** argv, GlobalOptions* options);

}  // namespace vksctl
