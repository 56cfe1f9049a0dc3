// The child program of conf_process: a plain Win32 program that does one
// thing per run, chosen by its first argument, with the handle values of
// inherited events given on its command line in hexadecimal (as "%p"
// prints them). Its exit code tells conf_process what it saw.
#include "vks_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HANDLE HandleArg(const char* text) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 16)));
}

// Waits that end a child conf_process forgot are bounded, so that a failing
// run ends instead of hanging.
constexpr DWORD kLongWait = 20000;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const char* mode = argv[1];

    // exit <code>: ends at once with the code.
    if (std::strcmp(mode, "exit") == 0 && argc == 3) return std::atoi(argv[2]);

    // args <expected...>: the arguments after the mode, compared with the
    // ones conf_process meant to pass; 0 when all match, else 100 + the
    // first index that differs.
    if (std::strcmp(mode, "args") == 0) {
        static const char* const kExpected[] = {"a b", "c\\d", "e\"f", "g\\\"h", "", "i\\\\", "tab\tin", "end"};
        const int count = static_cast<int>(sizeof kExpected / sizeof kExpected[0]);
        if (argc - 2 != count) return 99;
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(argv[2 + i], kExpected[i]) != 0) return 100 + i;
        }
        return 0;
    }

    // signal <started> <stop>: sets started, waits for stop; 7 when stop
    // came, 9 when it did not.
    if (std::strcmp(mode, "signal") == 0 && argc == 4) {
        if (!SetEvent(HandleArg(argv[2]))) return 8;
        return WaitForSingleObject(HandleArg(argv[3]), kLongWait) == WAIT_OBJECT_0 ? 7 : 9;
    }

    // ignore <started> <stop>: sets started and never looks at stop; it
    // must be terminated.
    if (std::strcmp(mode, "ignore") == 0 && argc == 4) {
        if (!SetEvent(HandleArg(argv[2]))) return 8;
        HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, kLongWait);
        return 9;
    }

    // ping <auto-reset ping> <manual pong>: waits for ping, checks that the
    // wait consumed it, then sets pong; 0 on success.
    if (std::strcmp(mode, "ping") == 0 && argc == 4) {
        HANDLE ping = HandleArg(argv[2]);
        if (WaitForSingleObject(ping, kLongWait) != WAIT_OBJECT_0) return 11;
        if (WaitForSingleObject(ping, 0) != WAIT_TIMEOUT) return 12;
        return SetEvent(HandleArg(argv[3])) ? 0 : 13;
    }

    // state <manual event> <expected 0/1>: the inherited event's state as
    // the parent left it; 0 when it matches, and resets it so the parent
    // can see the reset.
    if (std::strcmp(mode, "state") == 0 && argc == 4) {
        HANDLE event = HandleArg(argv[2]);
        const bool expected = std::atoi(argv[3]) != 0;
        const DWORD wait = WaitForSingleObject(event, 0);
        if (wait == WAIT_FAILED) return 21;
        if ((wait == WAIT_OBJECT_0) != expected) return 22;
        return ResetEvent(event) ? 0 : 23;
    }
    // only <listed> <unlisted>: the listed event was inherited (a valid,
    // unsignalled event here), the unlisted one was not (0: not checked);
    // 0 when so.
    if (std::strcmp(mode, "only") == 0 && argc == 4) {
        if (WaitForSingleObject(HandleArg(argv[2]), 0) != WAIT_TIMEOUT) return 31;
        HANDLE unlisted = HandleArg(argv[3]);
        if (unlisted != nullptr && WaitForSingleObject(unlisted, 0) != WAIT_FAILED) return 32;
        return 0;
    }
    return 98;
}
