#include "audio/audio_helper_process.h"

#include "audio/audio_format.h"
#include "audio/audio_thread.h"
#include "core/engine.h"
#include "core/log.h"
#include "vksacc.h"

#include <cstdlib>
#include <cstring>

namespace Velantis::VKS {

namespace {

// Starting a process can take seconds (a loaded machine, a first start
// under Wine), and the helper sets up its own audio stream before it reports
// that it started. A helper that ends instead ends the wait at once.
constexpr DWORD kStartWaitMs = 5000;
constexpr DWORD kExitWaitMs = 250;

DWORD Tid() { return GetCurrentThreadId(); }

uint64_t Fnv1a64(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= bytes[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

// Upper-case hex of a 64-bit value, 16 digits.
void PutHex64(WCHAR* out, uint64_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 15; i >= 0; --i) {
        out[i] = static_cast<WCHAR>(kDigits[value & 0xF]);
        value >>= 4;
    }
}

}  // namespace

void FormatHelperCommandLine(const GUID& sessionGuid, HANDLE started, HANDLE stop,
                             WCHAR (&commandLine)[kHelperCommandLineUnits]) {
    // Built by hand rather than with a formatter: the width of %p differs
    // between runtimes, the line's length must not.
    static const char kName[] = "742AudioHelper.exe ";
    std::memset(commandLine, 0, sizeof(commandLine));
    size_t at = 0;
    for (const char* p = kName; *p != 0; ++p) commandLine[at++] = static_cast<WCHAR>(*p);
    const GuidText text = FormatGuid(sessionGuid);
    for (size_t i = 0; i < 38; ++i) commandLine[at++] = text.Text[i];
    commandLine[at++] = WSTR(' ');
    PutHex64(commandLine + at, reinterpret_cast<ULONG_PTR>(started));
    at += 16;
    commandLine[at++] = WSTR(' ');
    PutHex64(commandLine + at, reinterpret_cast<ULONG_PTR>(stop));
    at += 16;
    commandLine[at] = 0;
}

size_t SessionGuidHash::operator()(const GUID& guid) const noexcept {
    uint64_t h = 0;
    auto mix = [&h](const void* field, size_t size) { h = ((h << 1) | (h >> 63)) ^ Fnv1a64(field, size); };
    mix(&guid.Data1, 4);
    mix(&guid.Data2, 2);
    mix(&guid.Data3, 2);
    for (int i = 0; i < 8; ++i) mix(&guid.Data4[i], 1);
    return static_cast<size_t>(h);
}

bool SessionGuidEqual::operator()(const GUID& a, const GUID& b) const noexcept {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof(a.Data4)) == 0;
}

AudioHelperProcess::AudioHelperProcess(const GUID& sessionGuid) {
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcess::AudioHelperProcess: ENTER. Thread:%08X\n"), Tid());
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof(inherit);
    inherit.lpSecurityDescriptor = nullptr;
    inherit.bInheritHandle = TRUE;
    // Failures show later as a failed start wait.
    hEventProcessStarted = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    hEventProcessStop = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    LaunchProcess(sessionGuid);
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcess::AudioHelperProcess: EXIT. Thread:%08X\n"), Tid());
}

AudioHelperProcess::~AudioHelperProcess() {
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcess::~AudioHelperProcess: ENTER. Thread:%08X\n"), Tid());
    StopProcess();
    SafeCloseHandle(hEventProcessStarted);
    SafeCloseHandle(hEventProcessStop);
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcess::~AudioHelperProcess: EXIT. Thread:%08X\n"), Tid());
}

namespace {

// The helper program's full name in the folder of this library's own module
// (where the package installs it); false when that name cannot be made.
bool HelperBesideLibrary(WCHAR (&path)[MAX_PATH]) {
    static const WCHAR kProgram[] = WSTR("742AudioHelper.exe");
    constexpr size_t kProgramUnits = sizeof(kProgram) / sizeof(kProgram[0]);  // with its terminator
    const DWORD length = GetModuleFileNameW(Global.hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    size_t folder = length;
    while (folder > 0 && path[folder - 1] != WSTR('\\') && path[folder - 1] != WSTR('/')) --folder;
    if (folder == 0 || folder + kProgramUnits > MAX_PATH) return false;
    std::memcpy(path + folder, kProgram, sizeof(kProgram));
    return true;
}

// The job every helper starts in. It is never closed by the library: the
// system closes it when this process ends, however it ends, and its
// kill-on-close limit then ends the helpers, which would otherwise wait on
// their stop event for ever. Null when it cannot be made (helpers then start
// outside any job).
HANDLE HelperJob() {
    static const HANDLE job = [] {
        HANDLE h = CreateJobObjectW(nullptr, nullptr);
        if (h == nullptr) return h;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        std::memset(&limits, 0, sizeof(limits));
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
            LogError(WSTR("Velantis::VKS::AudioHelperProcess::HelperJob: Failed to set the kill-on-close limit. "
                          "LastError:0x%08X. Thread:%08X\n"),
                     GetLastError(), Tid());
            CloseHandle(h);
            return static_cast<HANDLE>(nullptr);
        }
        return h;
    }();
    return job;
}

// The start-up information of a helper: it inherits its own two events and
// nothing else, and starts in the helper job (unless told otherwise).
class HelperStartup {
public:
    HelperStartup(HANDLE started, HANDLE stop, bool inJob = true)
        : handles_{started, stop}, job_(inJob ? HelperJob() : nullptr) {
        std::memset(&info_, 0, sizeof(info_));
        info_.StartupInfo.cb = sizeof(info_);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
        list_ = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(std::malloc(size));
        if (list_ == nullptr || !InitializeProcThreadAttributeList(list_, 2, 0, &size)) {
            std::free(list_);
            list_ = nullptr;
            return;
        }
        bool ok = UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, sizeof(handles_),
                                            nullptr, nullptr);
        if (ok && job_ != nullptr) {
            ok = UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_, sizeof(job_), nullptr,
                                           nullptr);
        }
        if (!ok) {
            DeleteProcThreadAttributeList(list_);
            std::free(list_);
            list_ = nullptr;
            return;
        }
        info_.lpAttributeList = list_;
    }
    ~HelperStartup() {
        if (list_ != nullptr) {
            DeleteProcThreadAttributeList(list_);
            std::free(list_);
        }
    }
    HelperStartup(const HelperStartup&) = delete;
    HelperStartup& operator=(const HelperStartup&) = delete;

    // False when the list could not be made: the helper is then not started,
    // rather than started with every inheritable handle of the process.
    bool Ready() const { return list_ != nullptr; }
    LPSTARTUPINFOW Info() { return &info_.StartupInfo; }

private:
    HANDLE handles_[2];
    HANDLE job_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    STARTUPINFOEXW info_;
};

}  // namespace

bool AudioHelperProcess::LaunchProcess(const GUID& sessionGuid) {
    WCHAR commandLine[kHelperCommandLineUnits];
    FormatHelperCommandLine(sessionGuid, hEventProcessStarted, hEventProcessStop, commandLine);
    LogTrace(WSTR("Velantis::VKS::AudioHelperProcess::LaunchProcess: Launching: `%s`. Thread:%08X\n"), commandLine, Tid());
    HelperStartup startup(hEventProcessStarted, hEventProcessStop);
    constexpr DWORD kFlags = CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION info{};
    // The program beside this library first, so that an installed library
    // needs no set-up; then the search by name from the command line.
    WCHAR besideLibrary[MAX_PATH];
    const bool haveBeside = HelperBesideLibrary(besideLibrary);
    BOOL created = FALSE;
    DWORD lastError = startup.Ready() ? ERROR_FILE_NOT_FOUND : ERROR_NOT_ENOUGH_MEMORY;
    if (startup.Ready() && haveBeside) {
        created = CreateProcessW(besideLibrary, commandLine, nullptr, nullptr, TRUE, kFlags, nullptr, nullptr,
                                 startup.Info(), &info);
        if (!created) lastError = GetLastError();
    }
    if (startup.Ready() && !created && (lastError == ERROR_FILE_NOT_FOUND || lastError == ERROR_PATH_NOT_FOUND)) {
        created = CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, kFlags, nullptr, nullptr,
                                 startup.Info(), &info);
        if (!created) lastError = GetLastError();
    }
    if (startup.Ready() && !created && haveBeside && lastError == ERROR_ACCESS_DENIED) {
        // A process held in a job that admits no other job (older Windows)
        // cannot start the helper in one: it is started outside, as before.
        LogWarning(WSTR("Velantis::VKS::AudioHelperProcess::LaunchProcess: Starting the helper outside its job. "
                        "Thread:%08X\n"),
                   Tid());
        HelperStartup outside(hEventProcessStarted, hEventProcessStop, false);
        created = outside.Ready() && CreateProcessW(besideLibrary, commandLine, nullptr, nullptr, TRUE, kFlags,
                                                    nullptr, nullptr, outside.Info(), &info);
        if (!created) lastError = GetLastError();
    }
    if (!created) {
        LogError(WSTR("Velantis::VKS::AudioHelperProcess::LaunchProcess: Failed - LastError:%08X. Thread:%08X\n"),
                 lastError, Tid());
        LogError(WSTR("Velantis::VKS::AudioHelperProcess::LaunchProcess: The helper program was not started: tried "
                      "`%s` and `742AudioHelper.exe` by name; the session plays without it. Thread:%08X\n"),
                 haveBeside ? besideLibrary : WSTR("(no library folder)"), Tid());
        ProcessInformation = PROCESS_INFORMATION{};
        return false;
    }
    ProcessInformation = info;
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcess::LaunchProcess: Success - dwProcessId:%d dwThreadId:%d. Thread:%08X\n"),
                    static_cast<int>(info.dwProcessId), static_cast<int>(info.dwThreadId), Tid());
    return true;
}

bool AudioHelperProcess::WaitForProcessStart() {
    const HANDLE handles[2] = {hEventProcessStarted, ProcessInformation.hProcess};
    const DWORD count = handles[1] != nullptr ? 2 : 1;
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, kStartWaitMs);
    if (result == WAIT_OBJECT_0) return true;
    LogWaitFailure(result, WSTR("helper process start"));
    return false;
}

void AudioHelperProcess::StopProcess() {
    if (ProcessInformation.hProcess != nullptr) {
        SetEvent(hEventProcessStop);
        DWORD result = WaitForSingleObject(ProcessInformation.hProcess, kExitWaitMs);
        if (result != WAIT_OBJECT_0) {
            LogWaitFailure(result, WSTR("helper process exit"));
            if (!TerminateProcess(ProcessInformation.hProcess, 0)) {
                LogError(WSTR("Velantis::VKS::AudioHelperProcess::StopProcess: Failed to terminate the helper process. LastError:0x%08X. Thread:%08X\n"),
                         GetLastError(), Tid());
            }
            result = WaitForSingleObject(ProcessInformation.hProcess, kExitWaitMs);
            if (result != WAIT_OBJECT_0) LogWaitFailure(result, WSTR("helper process exit (after termination)"));
        }
    }
    SafeCloseHandle(ProcessInformation.hThread);
    SafeCloseHandle(ProcessInformation.hProcess);
}

void AudioHelperProcess::LogWaitFailure(DWORD waitResult, const WCHAR* description) {
    const DWORD lastError = GetLastError();
    const WCHAR* word = WSTR("succeeded");
    if (waitResult == WAIT_ABANDONED) {
        word = WSTR("abandoned");
    } else if (waitResult == WAIT_TIMEOUT) {
        word = WSTR("timed-out");
    } else if (waitResult == WAIT_FAILED) {
        word = WSTR("failed");
    }
    LogError(WSTR("Velantis::VKS::AudioHelperProcess::LogWaitFailure: Wait %s on %s (WaitResult:%08X). LastError:0x%08X. Thread:%08X\n"),
             word, description, waitResult, lastError, Tid());
}

AudioHelperProcessManager::AudioHelperProcessManager() { InitializeCriticalSection(&lock_); }

AudioHelperProcessManager& AudioHelperProcessManager::Instance() {
    // Made on first use and never destroyed: an audio thread may let go of a
    // helper after the library's static objects are gone (unload, process
    // exit), and that release takes the manager's lock.
    static AudioHelperProcessManager* const manager = new AudioHelperProcessManager();
    return *manager;
}

std::shared_ptr<AudioHelperProcess> AudioHelperProcessManager::GetSessionProcess(const GUID& sessionGuid) {
    EnterCriticalSection(&lock_);
    // The deleter stops the helper before it takes the lock to drop the entry,
    // so that other sessions' lookups are not held up by a stopping helper.
    auto make = [this, sessionGuid]() {
        return std::shared_ptr<AudioHelperProcess>(new AudioHelperProcess(sessionGuid),
                                                   [this, sessionGuid](AudioHelperProcess* process) {
                                                       delete process;
                                                       RemoveSession(sessionGuid);
                                                   });
    };
    std::shared_ptr<AudioHelperProcess> process;
    const WCHAR* action;
    auto it = sessions_.find(sessionGuid);
    if (it != sessions_.end()) {
        process = it->second.lock();
        if (process) {
            action = WSTR("Reused existing");
        } else {
            process = make();
            it->second = process;
            action = WSTR("Recreated");
        }
    } else {
        process = make();
        sessions_.emplace(sessionGuid, process);
        action = WSTR("Created new");
    }
    const GuidText text = FormatGuid(sessionGuid);
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcessManager::GetSessionProcess: %s Helper Process for SessionGUID:%s. Entry count: %llu. Thread:%08X\n"),
                    action, text.Text, static_cast<unsigned long long>(sessions_.size()), Tid());
    LeaveCriticalSection(&lock_);
    return process;
}

void AudioHelperProcessManager::RemoveSession(const GUID& sessionGuid) {
    EnterCriticalSection(&lock_);
    // An entry refilled while this helper was stopping belongs to a newer
    // helper: it stays, so that the next lookup finds that helper.
    auto it = sessions_.find(sessionGuid);
    if (it != sessions_.end() && it->second.expired()) sessions_.erase(it);
    const GuidText text = FormatGuid(sessionGuid);
    LogNotification(WSTR("Velantis::VKS::AudioHelperProcessManager::RemoveSession: Removed Helper Process entry for SessionGUID:%s. Entry count: %llu. Thread:%08X\n"),
                    text.Text, static_cast<unsigned long long>(sessions_.size()), Tid());
    LeaveCriticalSection(&lock_);
}

size_t AudioHelperProcessManager::EntryCount() {
    EnterCriticalSection(&lock_);
    const size_t count = sessions_.size();
    LeaveCriticalSection(&lock_);
    return count;
}

}  // namespace Velantis::VKS

// --- The helper process's entry --------------------------------------------------------

extern "C" uint32_t VKSAPI AudioHelperProcessMain(const VKSGUID* pSessionGuid, VKSHANDLE hStartedEvent,
                                                  VKSHANDLE hStopEvent) {
    GUID session{};
    if (pSessionGuid != nullptr) std::memcpy(&session, pSessionGuid, sizeof(session));
    LogInitialise(WSTR("742AudioHelper: "));
    LogTrace(WSTR("AudioHelperProcessMain: ENTER\n"));
    AudioStreamContext context{};
    HRESULT hr = AudioThreadWASAPIStreamOpen(&context, &session, nullptr);
    if (FAILED(hr)) {
        const DWORD lastError = GetLastError();
        LogError(WSTR("AudioHelperProcessMain: Failed to open stream.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                 WSTR(""), static_cast<DWORD>(hr), lastError, GetCurrentThreadId());
    } else {
        SetEvent(static_cast<HANDLE>(hStartedEvent));
        const DWORD result = WaitForSingleObject(static_cast<HANDLE>(hStopEvent), INFINITE);
        if (result == WAIT_OBJECT_0) {
            hr = S_OK;
        } else {
            hr = E_FAIL;
            const DWORD lastError = GetLastError();
            LogError(WSTR("AudioHelperProcessMain: Wait for stop event failed (WaitResult:%08X). Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                     result, static_cast<DWORD>(hr), lastError, GetCurrentThreadId());
        }
    }
    AudioThreadWASAPIStreamClose(&context);
    LogTrace(WSTR("AudioHelperProcessMain: EXIT\n"));
    return static_cast<uint32_t>(hr);
}
