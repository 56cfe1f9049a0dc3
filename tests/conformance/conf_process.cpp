// Processes: CreateProcessW finding a program beside the application,
// command-line arguments, waits on process handles and exit codes,
// STILL_ACTIVE, TerminateProcess of a child that ignores its stop event,
// events inherited by the child (same handle values) that either process
// sets and the other waits for, a handle list that limits what is inherited,
// and a kill-on-close job. The child is this program itself, started with
// arguments (Child below).
#include "conformance.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

using namespace conformance;

// Long enough for a loaded machine; a passing run never waits this long.
constexpr DWORD kLongWait = 20000;

SECURITY_ATTRIBUTES g_inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

HANDLE InheritableEvent(BOOL manual) { return CreateEventW(&g_inheritable, manual, FALSE, nullptr); }

// The child's command line for a mode that takes two handle values.
const WCHAR* Line(const char* mode, HANDLE a, HANDLE b) {
    static WCHAR line[256];
    _snwprintf_s(line, 256, _TRUNCATE, WSTR("conf_process.exe %hs %p %p"), mode, a, b);
    return line;
}

// The child: one thing per run, chosen by its first argument, with the
// handle values of inherited events given on its command line in
// hexadecimal (as "%p" prints them). Its exit code tells the parent what it
// saw.
int Child(int argc, char** argv) {
    auto is = [&](const char* mode) { return std::strcmp(argv[1], mode) == 0; };
    // exit <code>: ends at once with the code.
    if (is("exit") && argc == 3) return std::atoi(argv[2]);
    // args <expected...>: the arguments after the mode, compared with the
    // ones the parent meant to pass; 0 when all match, else 100 + the first
    // index that differs.
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
    HANDLE a = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 16)));
    HANDLE b = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(argv[3], nullptr, 16)));
    // signal <started> <stop>: sets started, waits for stop; 7 when stop
    // came, 9 when it did not. ignore <started> <stop>: sets started and
    // never looks at stop; it must be terminated. (Waits that end a child
    // the parent forgot are bounded, so that a failing run ends.)
    if (is("signal") || is("ignore")) {
        if (!SetEvent(a)) return 8;
        if (is("ignore")) WaitForSingleObject(CreateEventW(nullptr, TRUE, FALSE, nullptr), kLongWait);
        return !is("ignore") && WaitForSingleObject(b, kLongWait) == WAIT_OBJECT_0 ? 7 : 9;
    }
    // ping <auto-reset ping> <manual pong>: waits for ping, checks that the
    // wait consumed it, then sets pong; 0 on success.
    if (is("ping")) return WaitForSingleObject(a, kLongWait) == WAIT_OBJECT_0 && Steps(a, "-") && SetEvent(b) ? 0 : 11;
    // state <manual event> <any>: the inherited event is set, as the parent
    // left it; 0 when so, and resets it so the parent can see the reset.
    if (is("state")) return Steps(a, "+r") ? 0 : 21;
    // only <listed> <unlisted>: the listed event was inherited (a valid,
    // unsignalled event here), the unlisted one was not (0: not checked);
    // 0 when so.
    if (is("only")) return Steps(a, "-") && (!b || WaitForSingleObject(b, 0) == WAIT_FAILED) ? 0 : 31;
    return 98;
}

// Starts the child with a command line ("conf_process.exe ..."), the
// program being found by the search for a command line, which starts in
// this program's folder. With a handle list only those handles are
// inherited; with a job the child starts in it.
bool Launch(const WCHAR* commandLine, PROCESS_INFORMATION* pi, std::vector<HANDLE> handles = {}, HANDLE job = nullptr) {
    WCHAR line[512];
    _snwprintf_s(line, 512, _TRUNCATE, WSTR("%s"), commandLine);
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = handles.empty() ? sizeof si.StartupInfo : sizeof si;
    *pi = PROCESS_INFORMATION{};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
    std::vector<char> buffer(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!handles.empty()) {
        si.lpAttributeList = list;
        const bool ok = InitializeProcThreadAttributeList(list, 2, 0, &size) &&
                        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                                  handles.size() * sizeof(HANDLE), nullptr, nullptr) &&
                        (!job || UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof job,
                                                           nullptr, nullptr));
        if (!ok) return false;
    }
    const DWORD flags = CREATE_NO_WINDOW | (handles.empty() ? 0 : EXTENDED_STARTUPINFO_PRESENT);
    const bool started = CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                        &si.StartupInfo, pi) != FALSE;
    if (!handles.empty()) DeleteProcThreadAttributeList(list);
    return started;
}

DWORD ExitCode(const PROCESS_INFORMATION& pi) {
    DWORD code = 0xDEADBEEF;
    return GetExitCodeProcess(pi.hProcess, &code) ? code : 0xBAD;
}

DWORD ExitCodeAfterWait(const PROCESS_INFORMATION& pi) {
    return WaitForSingleObject(pi.hProcess, kLongWait) == WAIT_OBJECT_0 ? ExitCode(pi) : 0xDEADDEAD;
}

// Children that end by themselves: exit codes, arguments (the child compares
// them with the ones it expects), a quoted program name.
void ExitCodesAndArguments() {
    const std::pair<const WCHAR*, DWORD> rows[] = {
        {WSTR("conf_process.exe exit 42"), 42},
        {WSTR("conf_process.exe exit 0"), 0},
        {WSTR("conf_process.exe args \"a b\" c\\d e\\\"f g\\\\\\\"h \"\" \"i\\\\\\\\\" \"tab\tin\" end"), 0},
        {WSTR("\"conf_process.exe\" exit 5"), 5},
    };
    for (const auto& [line, exitCode] : rows) {
        PROCESS_INFORMATION pi;
        CHECK(Launch(line, &pi));
        CHECK(pi.hThread != nullptr && pi.dwProcessId != 0 && GetProcessId(pi.hProcess) == pi.dwProcessId);
        CHECK_DW(ExitCodeAfterWait(pi), exitCode);
        // The main thread's handle is signalled once the process has ended;
        // waiting again on an ended process returns at once.
        CHECK_DW(WaitForSingleObject(pi.hThread, kLongWait), WAIT_OBJECT_0);
        CHECK_STEPS(pi.hProcess, "+");
        CloseAll({pi.hThread, pi.hProcess});
    }
    PROCESS_INFORMATION pi;
    CHECK_ERR(!Launch(WSTR("vks_no_such_program_here.exe exit 1"), &pi), ERROR_FILE_NOT_FOUND);
}

// The child sets an inherited event the parent waits for; in between it is
// still active. In "signal" mode it then waits for the stop event the parent
// sets and ends with 7; in "ignore" mode it does not look at it, is still
// running after a bounded wait, and TerminateProcess ends it with the given
// exit code, kept whole.
void EventsAndTerminate() {
    for (const char* mode : {"signal", "ignore"}) {
        const bool ignores = std::strcmp(mode, "ignore") == 0;
        HANDLE started = InheritableEvent(TRUE);
        HANDLE stop = InheritableEvent(TRUE);
        PROCESS_INFORMATION pi;
        CHECK(Launch(Line(mode, started, stop), &pi));
        CHECK_DW(WaitForSingleObject(started, kLongWait), WAIT_OBJECT_0);
        CHECK_STEPS(started, "+");  // manual-reset: it stays set for every later wait
        CHECK_DW(ExitCode(pi), STILL_ACTIVE);
        CHECK_STEPS(pi.hProcess, "-");
        // A wait for either the child's end or another event sees the event.
        HANDLE both[2] = {pi.hProcess, started};
        CHECK_DW(WaitForMultipleObjects(2, both, FALSE, kLongWait), WAIT_OBJECT_0 + 1);
        CHECK(SetEvent(stop));
        if (ignores) {
            CHECK_DW(WaitForSingleObject(pi.hProcess, 250), WAIT_TIMEOUT);
            CHECK_DW(ExitCode(pi), STILL_ACTIVE);
            CHECK(TerminateProcess(pi.hProcess, 0x1234ABCD));
        }
        const DWORD expected = ignores ? 0x1234ABCDu : 7u;
        CHECK_DW(ExitCodeAfterWait(pi), expected);
        // Terminating an ended process changes nothing. (Windows refuses with
        // ERROR_ACCESS_DENIED; Wine reports success: the result is not checked.)
        TerminateProcess(pi.hProcess, 5);
        CHECK_DW(ExitCodeAfterWait(pi), expected);
        CloseAll({pi.hThread, pi.hProcess, started, stop});
    }
}

// An auto-reset event set by the parent releases the waiting child once:
// the child's wait consumes it for both processes. Then the child sees the
// state the parent gave an event before it started, and its ResetEvent is
// seen by the parent; that event was made inheritable with
// SetHandleInformation.
void SharedEventState() {
    HANDLE ping = InheritableEvent(FALSE);
    HANDLE pong = InheritableEvent(TRUE);
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("ping", ping, pong), &pi));
    CHECK(SetEvent(ping));
    CHECK_DW(WaitForSingleObject(pong, kLongWait), WAIT_OBJECT_0);
    CHECK_STEPS(ping, "-");
    CHECK_DW(ExitCodeAfterWait(pi), 0);
    CloseAll({pi.hThread, pi.hProcess, ping, pong});

    // (Our layer shares across processes only events made with attributes.)
    SECURITY_ATTRIBUTES notInherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE event = CreateEventW(&notInherited, TRUE, TRUE, nullptr);
    DWORD flags = 0xFF;
    CHECK(GetHandleInformation(event, &flags) && (flags & HANDLE_FLAG_INHERIT) == 0);
    CHECK(SetHandleInformation(event, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
    CHECK(GetHandleInformation(event, &flags) && (flags & HANDLE_FLAG_INHERIT) == HANDLE_FLAG_INHERIT);
    CHECK(Launch(Line("state", event, nullptr), &pi));
    CHECK_DW(ExitCodeAfterWait(pi), 0);
    CHECK_STEPS(event, "-");
    CloseAll({pi.hThread, pi.hProcess, event});
}

// With a handle list only the listed inheritable handles reach the child;
// another inheritable event of the parent does not. (Wine 8 passes every
// inheritable handle whatever the list says: there only the listed one is
// checked.) A job with the kill-on-close limit ends the processes started in
// it when its last handle is closed.
void HandleListAndJob() {
    HANDLE events[2] = {InheritableEvent(TRUE), InheritableEvent(TRUE)};
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("only", events[0], OnWine() ? nullptr : events[1]), &pi, {events[0]}));
    CHECK_DW(ExitCodeAfterWait(pi), 0);
    CloseAll({pi.hThread, pi.hProcess});

    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    CHECK(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    CHECK(Launch(Line("ignore", events[0], events[1]), &pi, {events[0], events[1]}, job));
    CHECK_DW(WaitForSingleObject(events[0], kLongWait), WAIT_OBJECT_0);
    CHECK_STEPS(pi.hProcess, "-");
    CHECK(CloseHandle(job));
    CHECK_DW(WaitForSingleObject(pi.hProcess, kLongWait), WAIT_OBJECT_0);
    CloseAll({pi.hThread, pi.hProcess, events[0], events[1]});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) return Child(argc, argv);
    ExitCodesAndArguments();
    EventsAndTerminate();
    SharedEventState();
    HandleListAndJob();
    return conformance::Finish("conf_process");
}
