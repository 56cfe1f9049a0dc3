// CreateProcessW and process objects: finding the executable as Windows
// does for a command line, splitting the command line into arguments as the
// Microsoft C runtime does, handing inheritable events and the shared block
// to the child, and a waitable process object whose exit code comes from the
// child's end.
#include "kernel_internal.h"
#include "process_internal.h"

#include "vks_win32/strings.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace vks::process {
namespace {

using kernel::KernelObject;
using kernel::Ref;

class ChildProcess final : public KernelObject {
public:
    explicit ChildProcess(pid_t pid) : pid(pid) {}
    const char* TypeName() const noexcept override { return "Process"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const kernel::ThreadState*) const noexcept override { return ended; }

    const pid_t pid;
    // Under StateLock(); `ended` is read by the child's thread object too.
    std::atomic<bool> ended{false};
    DWORD exitCode = STILL_ACTIVE;
    bool terminated = false;
    DWORD terminateCode = 0;
};

// The child's main thread: signalled when the process ends.
class ChildThread final : public KernelObject {
public:
    explicit ChildThread(Ref<ChildProcess> process) : process(std::move(process)) {}
    const char* TypeName() const noexcept override { return "Thread"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const kernel::ThreadState*) const noexcept override { return process->ended; }
    const Ref<ChildProcess> process;
};

struct Reaping {
    Ref<ChildProcess> process;
    Ref<ChildThread> thread;
};

// Exit code of a child that a signal ended, as Windows reports the matching
// failure.
DWORD ExitCodeForSignal(int signal) noexcept {
    switch (signal) {
        case SIGSEGV:
        case SIGBUS: return 0xC0000005;  // access violation
        case SIGILL: return 0xC000001D;  // illegal instruction
        case SIGFPE: return 0xC0000094;  // integer divide by zero
        case SIGABRT: return 3;          // abort()
        case SIGKILL: return 1;          // killed from outside
        default: return 0xC000013A;      // ended by a control event
    }
}

void* Reap(void* arg) {
    Reaping* r = static_cast<Reaping*>(arg);
    ChildProcess* process = r->process.get();
    siginfo_t info{};
    // Wait without reaping first, so that the id cannot be reused while
    // TerminateProcess may still send it a signal.
    while (waitid(P_PID, static_cast<id_t>(process->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    {
        std::lock_guard<std::mutex> lock(process->StateLock());
        DWORD code;
        if (info.si_code == CLD_EXITED) {
            code = static_cast<DWORD>(info.si_status);
        } else if (process->terminated && info.si_status == SIGKILL) {
            code = process->terminateCode;
        } else {
            code = ExitCodeForSignal(info.si_status);
        }
        process->exitCode = code;
        process->ended = true;
        kernel::SignalLocked(process);
    }
    {
        std::lock_guard<std::mutex> lock(r->thread->StateLock());
        kernel::SignalLocked(r->thread.get());
    }
    int status;
    while (waitpid(process->pid, &status, 0) < 0 && errno == EINTR) {
    }
    ForgetProcess(static_cast<uint32_t>(process->pid));
    delete r;
    return nullptr;
}

std::string Utf8(const WCHAR* text, int length = -1) {
    if (!text) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0 && !out.empty()) out.pop_back();  // the terminator
    return out;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

// Splits a command line as the Microsoft C runtime does for main's argv:
// the program name ends at the first blank, or at the closing quote when it
// starts with one, and takes backslashes literally; in the other arguments
// 2n backslashes before a quote give n backslashes and the quote opens or
// closes a quoted part, 2n+1 give n and a literal quote, other backslashes
// are literal, and "" inside a quoted part is a literal quote.
std::vector<std::u16string> SplitCommandLine(const std::u16string& line) {
    std::vector<std::u16string> args;
    size_t i = 0;
    const size_t n = line.size();
    std::u16string arg;
    if (i < n && line[i] == u'"') {
        ++i;
        while (i < n && line[i] != u'"') arg += line[i++];
        if (i < n) ++i;
    } else {
        while (i < n && !IsBlank(line[i])) arg += line[i++];
    }
    args.push_back(arg);
    for (;;) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i >= n) break;
        arg.clear();
        bool quoted = false;
        while (i < n) {
            if (!quoted && IsBlank(line[i])) break;
            if (line[i] == u'\\') {
                size_t count = 0;
                while (i < n && line[i] == u'\\') {
                    ++count;
                    ++i;
                }
                if (i < n && line[i] == u'"') {
                    arg.append(count / 2, u'\\');
                    if (count % 2 == 1) {
                        arg += u'"';
                        ++i;
                    }
                } else {
                    arg.append(count, u'\\');
                }
                continue;
            }
            if (line[i] == u'"') {
                if (quoted && i + 1 < n && line[i + 1] == u'"') {
                    arg += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            arg += line[i++];
        }
        args.push_back(arg);
    }
    return args;
}

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string ApplicationFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EndsWithExe(const std::string& name) {
    return name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".exe") == 0;
}

// The Linux file names to try for a Windows program name: "tool.exe" is the
// file "tool" (Linux programs have no suffix), then the name as written.
std::vector<std::string> FileNames(std::string name, bool addExe) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    const size_t slash = name.rfind('/');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (addExe && last.find('.') == std::string::npos) name += ".exe";
    std::vector<std::string> names;
    if (EndsWithExe(name)) names.push_back(name.substr(0, name.size() - 4));
    names.push_back(name);
    return names;
}

// Finds one candidate program name: a name with a folder is taken as it is
// (relative to the current folder); a bare name is looked for in the
// application's folder, the current folder and the PATH folders, in that order.
std::string FindProgram(const std::string& candidate, bool search) {
    const std::vector<std::string> names = FileNames(candidate, search);
    if (!search || names.back().find('/') != std::string::npos) {
        for (const std::string& name : names) {
            if (IsExecutableFile(name)) return name;
        }
        return {};
    }
    std::vector<std::string> folders;
    folders.push_back(ApplicationFolder());
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) folders.push_back(cwd);
    if (const char* path = getenv("PATH")) {
        std::string list(path);
        for (size_t pos = 0; pos <= list.size();) {
            size_t end = list.find(':', pos);
            if (end == std::string::npos) end = list.size();
            if (end > pos) folders.push_back(list.substr(pos, end - pos));
            pos = end + 1;
        }
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            if (IsExecutableFile(path)) return path;
        }
    }
    return {};
}

// The program of a command line without an application name, as Windows
// finds it: a quoted first word is the name; an unquoted one is tried word
// by word ("a b c" gives "a", then "a b", then "a b c"), first found wins.
std::string FindProgramOfCommandLine(const std::u16string& line) {
    if (!line.empty() && line[0] == u'"') {
        const size_t close = line.find(u'"', 1);
        return FindProgram(Utf8(line.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1).c_str()),
                           true);
    }
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    size_t end = start;
    for (;;) {
        while (end < line.size() && !IsBlank(line[end])) ++end;
        std::string found = FindProgram(Utf8(line.substr(start, end - start).c_str()), true);
        if (!found.empty() || end >= line.size()) return found;
        while (end < line.size() && IsBlank(line[end])) ++end;
    }
}

bool StartsWithName(const std::string& entry, const char* name) {
    const size_t n = std::strlen(name);
    return entry.size() > n && entry.compare(0, n, name) == 0 && entry[n] == '=';
}

// The child's environment: the given block or ours, without our own
// variables, then those describing what the child inherits.
std::vector<std::string> ChildEnvironment(LPVOID block, bool unicode, const std::string& extra) {
    std::vector<std::string> env;
    if (block) {
        if (unicode) {
            for (const WCHAR* p = static_cast<const WCHAR*>(block); *p; p += wcslen(p) + 1) env.push_back(Utf8(p));
        } else {
            for (const char* p = static_cast<const char*>(block); *p; p += std::strlen(p) + 1) {
                const int n = MultiByteToWideChar(CP_ACP, 0, p, -1, nullptr, 0);
                std::u16string wide(static_cast<size_t>(n), u'\0');
                MultiByteToWideChar(CP_ACP, 0, p, -1, wide.data(), n);
                env.push_back(Utf8(wide.c_str()));
            }
        }
    } else {
        for (char** p = environ; p && *p; ++p) env.emplace_back(*p);
    }
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < extra.size();) {
        size_t end = extra.find('\n', pos);
        if (end == std::string::npos) end = extra.size();
        if (end > pos) lines.push_back(extra.substr(pos, end - pos));
        pos = end + 1;
    }
    std::vector<std::string> out;
    for (std::string& e : env) {
        if (StartsWithName(e, "VKS_SHARED_BLOCK_FD") || StartsWithName(e, "VKS_INHERITED_EVENTS") ||
            StartsWithName(e, "VKS_LIFELINE_FD")) {
            continue;
        }
        bool replaced = false;
        for (const std::string& line : lines) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && StartsWithName(e, line.substr(0, eq).c_str())) replaced = true;
        }
        if (!replaced) out.push_back(std::move(e));
    }
    for (std::string& line : lines) out.push_back(std::move(line));
    return out;
}

DWORD ErrorFromSpawn(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_GEN_FAILURE;
    }
}

Ref<ChildProcess> ReferenceChild(HANDLE h) { return kernel::ReferenceHandleAs<ChildProcess>(h); }

}  // namespace
}  // namespace vks::process

// The attribute list behind LPPROC_THREAD_ATTRIBUTE_LIST: opaque to callers,
// who size it with InitializeProcThreadAttributeList.
struct _PROC_THREAD_ATTRIBUTE_LIST {
    static constexpr DWORD kMagic = 0x4C415450;  // "PTAL"
    static constexpr DWORD kMaxAttributes = 4;
    struct Entry {
        DWORD_PTR attribute;
        PVOID value;
        SIZE_T size;
    };
    DWORD magic;
    DWORD capacity;
    DWORD count;
    Entry entries[kMaxAttributes];
};

namespace vks::process {
namespace {

// What an attribute list asks of CreateProcessW.
struct StartAttributes {
    bool handleList = false;
    std::vector<HANDLE> handles;
    std::vector<HANDLE> jobs;
};

bool ReadStartAttributes(DWORD flags, LPSTARTUPINFOW startup, StartAttributes* out) {
    if ((flags & EXTENDED_STARTUPINFO_PRESENT) == 0) return true;
    if (startup->cb < sizeof(STARTUPINFOEXW)) return false;
    const LPPROC_THREAD_ATTRIBUTE_LIST list = reinterpret_cast<STARTUPINFOEXW*>(startup)->lpAttributeList;
    if (list == nullptr) return true;
    if (list->magic != _PROC_THREAD_ATTRIBUTE_LIST::kMagic) return false;
    for (DWORD i = 0; i < list->count; ++i) {
        const auto& e = list->entries[i];
        const auto* values = static_cast<const HANDLE*>(e.value);
        const size_t n = e.size / sizeof(HANDLE);
        if (e.attribute == PROC_THREAD_ATTRIBUTE_HANDLE_LIST) {
            out->handleList = true;
            out->handles.assign(values, values + n);
        } else if (e.attribute == PROC_THREAD_ATTRIBUTE_JOB_LIST) {
            out->jobs.assign(values, values + n);
        }
    }
    return out->jobs.size() <= 1;
}

bool IsCurrentProcess(HANDLE h) { return reinterpret_cast<intptr_t>(h) == -1; }

}  // namespace
}  // namespace vks::process

using namespace vks::process;
using vks::kernel::KernelObject;
using vks::kernel::Ref;

extern "C" {

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    if ((!lpApplicationName && !lpCommandLine) || !lpStartupInfo || !lpProcessInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwCreationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    StartAttributes attributes;
    if (!ReadStartAttributes(dwCreationFlags, lpStartupInfo, &attributes)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string line = lpCommandLine ? std::u16string(lpCommandLine) : std::u16string(lpApplicationName);
    const std::string program =
        lpApplicationName ? FindProgram(Utf8(lpApplicationName), false) : FindProgramOfCommandLine(line);
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string> args;
    for (const std::u16string& arg : SplitCommandLine(line)) args.push_back(Utf8(arg.c_str()));

    // What the child inherits: the shared block always (it is the tree's
    // audio session table too), the inheritable events when asked.
    SharedBlock* block = Shared();
    const int descriptor = block ? SharedDescriptor() : -1;
    std::vector<InheritedEvent> inherited;
    std::vector<KernelObject*> refs;
    if (bInheritHandles && block) {
        for (;;) {
            inherited.resize(inherited.size() + 16);
            refs.resize(inherited.size());
            size_t count;
            {
                std::lock_guard<std::mutex> lock(vks::kernel::KernelLock());
                count = CollectInheritableLocked(inherited.data(), refs.data(), inherited.size());
            }
            if (count <= inherited.size()) {
                inherited.resize(count);
                refs.resize(count);
                break;
            }
            for (size_t i = 0; i < inherited.size(); ++i) refs[i]->Release();
            inherited.assign(count, InheritedEvent{});
        }
    }
    if (attributes.handleList) {
        // Only the listed handles pass, and each of them must be inheritable.
        bool allInheritable = bInheritHandles && block;
        for (HANDLE listed : attributes.handles) {
            bool found = false;
            for (const InheritedEvent& e : inherited) found = found || e.handle == listed;
            allInheritable = allInheritable && found;
        }
        std::vector<InheritedEvent> kept;
        std::vector<KernelObject*> keptRefs;
        for (size_t i = 0; i < inherited.size(); ++i) {
            bool listed = false;
            for (HANDLE h : attributes.handles) listed = listed || h == inherited[i].handle;
            if (listed) {
                kept.push_back(inherited[i]);
                keptRefs.push_back(refs[i]);
            } else {
                refs[i]->Release();
            }
        }
        inherited.swap(kept);
        refs.swap(keptRefs);
        if (!allInheritable) {
            for (KernelObject* object : refs) object->Release();
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    // A child that starts in a job is given the read end of the job's
    // lifeline to it (process_job.cpp).
    int lifeline = -1;
    int lifelineWriteEnd = -1;
    if (!attributes.jobs.empty()) {
        lifeline = OpenLifeline(attributes.jobs[0], &lifelineWriteEnd);
        if (lifeline < 0) {
            const DWORD error = GetLastError();
            for (KernelObject* object : refs) object->Release();
            SetLastError(error);
            return FALSE;
        }
    }
    std::string extra;
    if (descriptor >= 0) extra += "VKS_SHARED_BLOCK_FD=" + std::to_string(descriptor) + "\n";
    if (lifeline >= 0) extra += "VKS_LIFELINE_FD=" + std::to_string(lifeline) + "\n";
    if (!inherited.empty()) {
        extra += "VKS_INHERITED_EVENTS=";
        for (size_t i = 0; i < inherited.size(); ++i) {
            char item[48];
            std::snprintf(item, sizeof item, "%s%llX:%u", i ? "," : "",
                          static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(inherited[i].handle)),
                          inherited[i].slot);
            extra += item;
        }
        extra += "\n";
    }
    char audio[512];
    AudioEnvironmentForChild(audio, sizeof audio);
    extra += audio;
    std::vector<std::string> env =
        ChildEnvironment(lpEnvironment, (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0, extra);

    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Same descriptor on both sides: the child keeps it across exec.
    if (descriptor >= 0) posix_spawn_file_actions_adddup2(&actions, descriptor, descriptor);
    if (lifeline >= 0) posix_spawn_file_actions_adddup2(&actions, lifeline, lifeline);
    std::string folder;
    if (lpCurrentDirectory) {
        folder = Utf8(lpCurrentDirectory);
        for (char& c : folder) {
            if (c == '\\') c = '/';
        }
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    posix_spawnattr_t spawnAttributes;
    posix_spawnattr_init(&spawnAttributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&spawnAttributes, &none);
    posix_spawnattr_setflags(&spawnAttributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &spawnAttributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&spawnAttributes);
    posix_spawn_file_actions_destroy(&actions);
    if (lifeline >= 0) {
        close(lifeline);
        SettleLifeline(attributes.jobs[0], lifelineWriteEnd, rc == 0);
    }

    if (rc == 0) {
        for (const InheritedEvent& e : inherited) AddHolder(&block->events[e.slot], static_cast<uint32_t>(pid));
    }
    for (KernelObject* object : refs) object->Release();
    if (rc != 0) {
        SetLastError(ErrorFromSpawn(rc));
        return FALSE;
    }

    Ref<ChildProcess> process = Ref<ChildProcess>::Adopt(new ChildProcess(pid));
    Ref<ChildThread> thread = Ref<ChildThread>::Adopt(new ChildThread(process));
    HANDLE hProcess = vks::kernel::InsertHandle(process.get());
    HANDLE hThread = hProcess ? vks::kernel::InsertHandle(thread.get()) : nullptr;
    int started = -1;
    if (hThread) {
        auto* reaping = new Reaping{process, thread};
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t reaper;
        started = pthread_create(&reaper, &attr, Reap, reaping);
        pthread_attr_destroy(&attr);
        if (started != 0) delete reaping;
    }
    if (started != 0) {
        // A child nobody could wait for is not worth keeping.
        if (hThread) CloseHandle(hThread);
        if (hProcess) CloseHandle(hProcess);
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        ForgetProcess(static_cast<uint32_t>(pid));
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return FALSE;
    }
    lpProcessInformation->hProcess = hProcess;
    lpProcessInformation->hThread = hThread;
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    if (IsCurrentProcess(hProcess)) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    Ref<ChildProcess> process = ReferenceChild(hProcess);
    if (!process) return FALSE;
    std::lock_guard<std::mutex> lock(process->StateLock());
    *lpExitCode = process->exitCode;
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    if (IsCurrentProcess(hProcess)) _exit(static_cast<int>(uExitCode));
    Ref<ChildProcess> process = ReferenceChild(hProcess);
    if (!process) return FALSE;
    std::lock_guard<std::mutex> lock(process->StateLock());
    if (process->ended) {
        // Windows refuses to end a process that has ended.
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!process->terminated) {
        process->terminated = true;
        process->terminateCode = uExitCode;
    }
    // Under the lock: the reaper reaps the id only after marking the
    // process ended, so the id still names this child.
    kill(process->pid, SIGKILL);
    return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
    if (IsCurrentProcess(Process)) return static_cast<DWORD>(getpid());
    Ref<ChildProcess> process = ReferenceChild(Process);
    return process ? static_cast<DWORD>(process->pid) : 0;
}

void WINAPI ExitProcess(UINT uExitCode) { std::exit(static_cast<int>(uExitCode)); }

BOOL WINAPI InitializeProcThreadAttributeList(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList, DWORD dwAttributeCount,
                                              DWORD dwFlags, SIZE_T* lpSize) {
    if (lpSize == nullptr || dwFlags != 0 || dwAttributeCount > _PROC_THREAD_ATTRIBUTE_LIST::kMaxAttributes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SIZE_T needed = sizeof(_PROC_THREAD_ATTRIBUTE_LIST);
    if (lpAttributeList == nullptr || *lpSize < needed) {
        *lpSize = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(lpAttributeList, 0, needed);
    lpAttributeList->magic = _PROC_THREAD_ATTRIBUTE_LIST::kMagic;
    lpAttributeList->capacity = dwAttributeCount;
    *lpSize = needed;
    return TRUE;
}

BOOL WINAPI UpdateProcThreadAttribute(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList, DWORD dwFlags,
                                      DWORD_PTR Attribute, PVOID lpValue, SIZE_T cbSize, PVOID lpPreviousValue,
                                      SIZE_T* lpReturnSize) {
    const bool handles = Attribute == PROC_THREAD_ATTRIBUTE_HANDLE_LIST || Attribute == PROC_THREAD_ATTRIBUTE_JOB_LIST;
    if (lpAttributeList == nullptr || lpAttributeList->magic != _PROC_THREAD_ATTRIBUTE_LIST::kMagic || dwFlags != 0 ||
        lpPreviousValue != nullptr || lpReturnSize != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!handles) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (lpValue == nullptr || cbSize == 0 || cbSize % sizeof(HANDLE) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (DWORD i = 0; i < lpAttributeList->count; ++i) {
        if (lpAttributeList->entries[i].attribute == Attribute) {
            SetLastError(ERROR_GEN_FAILURE);  // each attribute once
            return FALSE;
        }
    }
    if (lpAttributeList->count >= lpAttributeList->capacity) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    lpAttributeList->entries[lpAttributeList->count++] = {Attribute, lpValue, cbSize};
    return TRUE;
}

void WINAPI DeleteProcThreadAttributeList(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList) {
    if (lpAttributeList != nullptr) lpAttributeList->magic = 0;
}

}  // extern "C"
