// Processes: CreateProcessW finding a program beside the application,
// command-line arguments, waits on process handles and exit codes,
// STILL_ACTIVE, TerminateProcess of a child that ignores its stop event,
// events inherited by the child (same handle values) that either process
// sets and the other waits for, a handle list that limits what is inherited,
// and a kill-on-close job. The child is vks_process_child.
#include "conformance.h"

#include <cstring>

namespace {

// Long enough for a loaded machine; a passing run never waits this long.
constexpr DWORD kLongWait = 20000;

SECURITY_ATTRIBUTES g_inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

HANDLE InheritableEvent(BOOL manual) { return CreateEventW(&g_inheritable, manual, FALSE, nullptr); }

// The child's command line for a mode that takes two handle values.
const WCHAR* Line(const char* mode, HANDLE a, HANDLE b) {
    static WCHAR line[256];
    _snwprintf_s(line, 256, _TRUNCATE, WSTR("vks_process_child.exe %hs %p %p"), mode, a, b);
    return line;
}

// Starts the child with a command line ("vks_process_child.exe ..."), the
// program being found by the search for a command line, which starts in
// this program's folder.
bool Launch(const WCHAR* commandLine, PROCESS_INFORMATION* pi, BOOL inherit = TRUE) {
    WCHAR line[512];
    _snwprintf_s(line, 512, _TRUNCATE, WSTR("%s"), commandLine);
    STARTUPINFOW si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    std::memset(pi, 0, sizeof *pi);
    return CreateProcessW(nullptr, line, nullptr, nullptr, inherit, CREATE_NO_WINDOW, nullptr, nullptr, &si, pi) !=
           FALSE;
}

DWORD ExitCodeAfterWait(const PROCESS_INFORMATION& pi) {
    if (WaitForSingleObject(pi.hProcess, kLongWait) != WAIT_OBJECT_0) return 0xDEADDEAD;
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

void Close(PROCESS_INFORMATION& pi) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

void ExitCodes() {
    PROCESS_INFORMATION pi;
    CHECK(Launch(WSTR("vks_process_child.exe exit 42"), &pi));
    CHECK(pi.hProcess != nullptr);
    CHECK(pi.hThread != nullptr);
    CHECK(pi.dwProcessId != 0);
    CHECK_EQ(GetProcessId(pi.hProcess), pi.dwProcessId);
    CHECK_EQ(ExitCodeAfterWait(pi), 42u);
    // The main thread's handle is signalled once the process has ended.
    CHECK_EQ(WaitForSingleObject(pi.hThread, kLongWait), (DWORD)WAIT_OBJECT_0);
    // Waiting again on an ended process returns at once.
    CHECK_EQ(WaitForSingleObject(pi.hProcess, 0), (DWORD)WAIT_OBJECT_0);
    Close(pi);

    CHECK(Launch(WSTR("vks_process_child.exe exit 0"), &pi));
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    Close(pi);
}

void CommandLineArguments() {
    PROCESS_INFORMATION pi;
    CHECK(Launch(WSTR("vks_process_child.exe args \"a b\" c\\d e\\\"f g\\\\\\\"h \"\" \"i\\\\\\\\\" \"tab\tin\" end"),
                 &pi));
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    Close(pi);

    // The program name may be quoted.
    CHECK(Launch(WSTR("\"vks_process_child.exe\" exit 5"), &pi));
    CHECK_EQ(ExitCodeAfterWait(pi), 5u);
    Close(pi);
}

void NotFound() {
    PROCESS_INFORMATION pi;
    CHECK_ERR(!Launch(WSTR("vks_no_such_program_here.exe exit 1"), &pi), ERROR_FILE_NOT_FOUND);
}

// The child sets an inherited event the parent waits for, and waits for
// one the parent sets; in between the child is still active.
void EventsBothWays() {
    HANDLE started = InheritableEvent(TRUE);
    HANDLE stop = InheritableEvent(TRUE);
    CHECK(started != nullptr && stop != nullptr);
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("signal", started, stop), &pi));
    CHECK_EQ(WaitForSingleObject(started, kLongWait), (DWORD)WAIT_OBJECT_0);
    // Manual-reset: it stays set for every later wait.
    CHECK_EQ(WaitForSingleObject(started, 0), (DWORD)WAIT_OBJECT_0);
    DWORD code = 0;
    CHECK(GetExitCodeProcess(pi.hProcess, &code));
    CHECK_EQ(code, (DWORD)STILL_ACTIVE);
    CHECK_EQ(WaitForSingleObject(pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);
    // A wait for either the child's end or another event sees the event.
    HANDLE both[2] = {pi.hProcess, started};
    CHECK_EQ(WaitForMultipleObjects(2, both, FALSE, kLongWait), (DWORD)(WAIT_OBJECT_0 + 1));
    CHECK(SetEvent(stop));
    CHECK_EQ(ExitCodeAfterWait(pi), 7u);
    Close(pi);
    CloseHandle(started);
    CloseHandle(stop);
}

// An auto-reset event set by the parent releases the waiting child once:
// the child's wait consumes it for both processes.
void AutoResetAcrossProcesses() {
    HANDLE ping = InheritableEvent(FALSE);
    HANDLE pong = InheritableEvent(TRUE);
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("ping", ping, pong), &pi));
    CHECK(SetEvent(ping));
    CHECK_EQ(WaitForSingleObject(pong, kLongWait), (DWORD)WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(ping, 0), (DWORD)WAIT_TIMEOUT);
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    Close(pi);
    CloseHandle(ping);
    CloseHandle(pong);
}

// The child sees the state the parent gave an event before it started, and
// its ResetEvent is seen by the parent. The event was made inheritable with
// SetHandleInformation.
void StateAndHandleInformation() {
    // (Our layer shares across processes only events made with attributes.)
    SECURITY_ATTRIBUTES notInherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE event = CreateEventW(&notInherited, TRUE, TRUE, nullptr);
    DWORD flags = 0xFF;
    CHECK(GetHandleInformation(event, &flags));
    CHECK_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
    CHECK(SetHandleInformation(event, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
    CHECK(GetHandleInformation(event, &flags));
    CHECK_EQ(flags & HANDLE_FLAG_INHERIT, (DWORD)HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("state", event, reinterpret_cast<HANDLE>(1)), &pi));  // "1": expected set
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    CHECK_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    Close(pi);
    CloseHandle(event);
}

// A child that ignores its stop event is still running after a bounded
// wait, and TerminateProcess ends it with the given exit code.
void Terminate() {
    HANDLE started = InheritableEvent(TRUE);
    HANDLE stop = InheritableEvent(TRUE);
    PROCESS_INFORMATION pi;
    CHECK(Launch(Line("ignore", started, stop), &pi));
    CHECK_EQ(WaitForSingleObject(started, kLongWait), (DWORD)WAIT_OBJECT_0);
    CHECK(SetEvent(stop));
    CHECK_EQ(WaitForSingleObject(pi.hProcess, 250), (DWORD)WAIT_TIMEOUT);
    DWORD code = 0;
    CHECK(GetExitCodeProcess(pi.hProcess, &code));
    CHECK_EQ(code, (DWORD)STILL_ACTIVE);
    CHECK(TerminateProcess(pi.hProcess, 0));
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    Close(pi);

    // The exit code given to TerminateProcess is kept whole.
    ResetEvent(started);
    CHECK(Launch(Line("ignore", started, stop), &pi));
    CHECK_EQ(WaitForSingleObject(started, kLongWait), (DWORD)WAIT_OBJECT_0);
    CHECK(TerminateProcess(pi.hProcess, 0x1234ABCD));
    CHECK_EQ(ExitCodeAfterWait(pi), 0x1234ABCDu);
    // Terminating an ended process changes nothing. (Windows refuses with
    // ERROR_ACCESS_DENIED; Wine reports success: the result is not checked.)
    TerminateProcess(pi.hProcess, 5);
    CHECK_EQ(ExitCodeAfterWait(pi), 0x1234ABCDu);
    Close(pi);
    CloseHandle(started);
    CloseHandle(stop);
}

// A start-up attribute list: the handles the child may inherit, and the
// job it starts in (none when null).
class Attributes {
public:
    Attributes(HANDLE* handles, SIZE_T count, HANDLE* job) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
        buffer_ = new char[size];
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_);
        ok_ = InitializeProcThreadAttributeList(list_, 2, 0, &size) &&
              UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                        nullptr, nullptr) &&
              (job == nullptr || UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, job,
                                                           sizeof(HANDLE), nullptr, nullptr));
    }
    ~Attributes() {
        DeleteProcThreadAttributeList(list_);
        delete[] buffer_;
    }
    bool Ok() const { return ok_; }
    bool Launch(const WCHAR* commandLine, PROCESS_INFORMATION* pi) {
        WCHAR line[512];
        _snwprintf_s(line, 512, _TRUNCATE, WSTR("%s"), commandLine);
        STARTUPINFOEXW si;
        std::memset(&si, 0, sizeof si);
        si.StartupInfo.cb = sizeof si;
        si.lpAttributeList = list_;
        std::memset(pi, 0, sizeof *pi);
        return CreateProcessW(nullptr, line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                              nullptr, nullptr, &si.StartupInfo, pi) != FALSE;
    }

private:
    char* buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_;
    bool ok_;
};

// With a handle list only the listed inheritable handles reach the child;
// another inheritable event of the parent does not. (Wine 8 passes every
// inheritable handle whatever the list says: there only the listed one is
// checked.)
void HandleListLimitsInheritance() {
    HANDLE listed = InheritableEvent(TRUE);
    HANDLE other = InheritableEvent(TRUE);
    Attributes attributes(&listed, 1, nullptr);
    CHECK(attributes.Ok());
    PROCESS_INFORMATION pi;
    CHECK(attributes.Launch(Line("only", listed, conformance::OnWine() ? nullptr : other), &pi));
    CHECK_EQ(ExitCodeAfterWait(pi), 0u);
    Close(pi);
    CloseHandle(listed);
    CloseHandle(other);
}

// A job with the kill-on-close limit ends the processes started in it when
// its last handle is closed.
void KillOnCloseJobEndsItsProcesses() {
    HANDLE events[2] = {InheritableEvent(TRUE), InheritableEvent(TRUE)};
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    CHECK(job != nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    CHECK(SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    Attributes attributes(events, 2, &job);
    CHECK(attributes.Ok());
    PROCESS_INFORMATION pi;
    CHECK(attributes.Launch(Line("ignore", events[0], events[1]), &pi));
    CHECK_EQ(WaitForSingleObject(events[0], kLongWait), (DWORD)WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);
    CHECK(CloseHandle(job));
    CHECK_EQ(WaitForSingleObject(pi.hProcess, kLongWait), (DWORD)WAIT_OBJECT_0);
    Close(pi);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

}  // namespace

int main() {
    ExitCodes();
    CommandLineArguments();
    NotFound();
    EventsBothWays();
    AutoResetAcrossProcesses();
    StateAndHandleInformation();
    Terminate();
    HandleListLimitsInheritance();
    KillOnCloseJobEndsItsProcesses();
    return conformance::Finish("conf_process");
}
