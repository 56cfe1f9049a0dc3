// What every command shares: the process environment the library reads, the
// engine, and the one place the main thread waits (for Ctrl-C, for the
// library's callbacks, or for time to pass).
#pragma once

#include "options.h"
#include "vksacc.h"

#include <cstdint>
#include <string>

namespace vksctl {

struct Context {
    GlobalOptions global;
    bool simulator = false;      // the devices are the simulator's
    std::string simConfig;       // its configuration file
};

// Sets up the environment before the library is first used: the simulator
// (its configuration and the stand-in libraries) when the machine has no
// driver configured, the registry file and the log level. Prints the
// simulator line. False (after printing why) when an option cannot be used.
bool PrepareEnvironment(Context* context);
// Removes what PrepareEnvironment made (a temporary registry file).
void CleanUpEnvironment();

// Ctrl-C (SIGINT), SIGTERM and a closed standard output set a flag and wake the main thread, which
// tears down in order; a second Ctrl-C during teardown changes nothing.
// Called before the engine is loaded.
void InstallStopHandler();
bool StopRequested();
// Standard output is a pipe whose reader has gone (or a write to it failed):
// handled like Ctrl-C.
bool OutputClosed();

// Wakes WaitForWake: callbacks call it from the library's threads after
// queueing what they report.
void Wake();
// Waits until Wake() or Ctrl-C, or `milliseconds` (negative: no limit).
// Returns false when stopping was requested.
bool WaitForWake(int milliseconds);

// The engine for the length of one command: loaded by Load(), always freed
// by the destructor (or Free()).
class Engine {
public:
    Engine() = default;
    ~Engine() { Free(); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    VKSERROR Load();
    VKSERROR Free();
    bool Loaded() const { return loaded_; }

private:
    VKSHENGINE handle_ = nullptr;
    bool loaded_ = false;
};

// Loads the engine for `command`, printing a one-line error on failure.
bool LoadEngine(const std::string& command, Engine* engine);

// Counts of the four input kinds (0 when the count fails).
uint32_t CountOf(VKSDEVICETYPE type);
const char* KindName(VKSDEVICETYPE type);
// "no decoder 7 (there are 6: 0 to 5)" when index is out of range, else "".
std::string CheckIndex(VKSDEVICETYPE type, uint32_t index);

}  // namespace vksctl
