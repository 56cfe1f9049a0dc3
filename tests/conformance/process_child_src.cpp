// The child program of conf_process: a plain Win32 program that does one
// thing per run, chosen by its first argument, with the handle values of
// inherited events given on its command line in hexadecimal (as "%p"
// prints them). Its exit code tells conf_process what it saw.
#include "vks_platform.h"

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
    auto is = [&](const char* mode) { return std::strcmp(argv[1], mode) == 0; };

    // exit <code>: ends at once with the code.
    if (is("exit") && argc == 3) return std::atoi(argv[2]);

    // args <expected...>: the arguments after the mode, compared with the
    // ones conf_process meant to pass; 0 when all match, else 100 + the
    // first index that differs.
    if (is("args")) {
        static const char* const kExpected[] = {"a b", "c\\d", "e\"f", "g\\\"h", "", "i\\\\", "tab\tin", "end"};
        const int count = static_cast<int>(sizeof kExpected / sizeof kExpected[0]);
        if (argc - 2 != count) return 99;
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(argv[2 + i], kExpected[i]) != 0) return 100 + i;
        }
        return 0;
    }
    if (argc != 4) return 98;
    HANDLE a = HandleArg(argv[2]);
    HANDLE b = HandleArg(argv[3]);

    // signal <started> <stop>: sets started, waits for stop; 7 when stop
    // came, 9 when it did not. ignore <started> <stop>: sets started and
    // never looks at stop; it must be terminated.
    if (is("signal") || is("ignore")) {
        if (!SetEvent(a)) return 8;
        if (is("ignore")) WaitForSingleObject(CreateEventW(nullptr, TRUE, FALSE, nullptr), kLongWait);
        return !is("ignore") && WaitForSingleObject(b, kLongWait) == WAIT_OBJECT_0 ? 7 : 9;
    }

    // ping <auto-reset ping> <manual pong>: waits for ping, checks that the
    // wait consumed it, then sets pong; 0 on success.
    if (is("ping")) {
        if (WaitForSingleObject(a, kLongWait) != WAIT_OBJECT_0) return 11;
        if (WaitForSingleObject(a, 0) != WAIT_TIMEOUT) return 12;
        return SetEvent(b) ? 0 : 13;
    }

    // state <manual event> <expected 0/1>: the inherited event's state as
    // the parent left it; 0 when it matches, and resets it so the parent
    // can see the reset.
    if (is("state")) {
        const DWORD wait = WaitForSingleObject(a, 0);
        if (wait == WAIT_FAILED) return 21;
        if ((wait == WAIT_OBJECT_0) != (b != nullptr)) return 22;
        return ResetEvent(a) ? 0 : 23;
    }

    // only <listed> <unlisted>: the listed event was inherited (a valid,
    // unsignalled event here), the unlisted one was not (0: not checked);
    // 0 when so.
    if (is("only")) {
        if (WaitForSingleObject(a, 0) != WAIT_TIMEOUT) return 31;
        return b != nullptr && WaitForSingleObject(b, 0) != WAIT_FAILED ? 32 : 0;
    }
    return 98;
}
