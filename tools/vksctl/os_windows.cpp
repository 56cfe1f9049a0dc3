// Windows: the operating-system layer of os.h, and the stop handling and
// wait of session.h: a console control handler and an event that wakes the
// main thread.
#include "os.h"
#include "session.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace vksctl {

namespace os {

const char kListSeparator = ';';

bool IsFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

std::string ModuleDirectory(HMODULE module) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ".";
    const std::string p(path, n);
    const size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace

std::string ExecutableDirectory() { return ModuleDirectory(nullptr); }

std::string LibraryDirectory() {
    // Through the import library, &VKSEngineLoad would be a stub in this
    // program; the DLL is found by its name instead.
    HMODULE library = GetModuleHandleA("vksacc.dll");
    return library ? ModuleDirectory(library) : ExecutableDirectory();
}

std::string RealPath(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(full, n);
}

std::string AbsolutePath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return n == 0 || n >= MAX_PATH ? path : std::string(full, n);
}

std::string MakeTemporaryFile(std::string* error) {
    char folder[MAX_PATH], name[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH || GetTempFileNameA(folder, "vks", 0, name) == 0) {
        *error = "error " + std::to_string(GetLastError());
        return {};
    }
    return name;
}

void SetEnvironment(const char* name, const char* value) {
    // The C library's copy and the process environment both change (an
    // empty value removes the variable).
    _putenv_s(name, value ? value : "");
}

std::string ModuleFileName(const std::string& name) {
    const size_t n = name.size();
    if (n > 4 && _stricmp(name.c_str() + n - 4, ".dll") == 0) return name;
    return name + ".dll";
}

void* LoadModule(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) *error = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* ModuleSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

void* LoadedSymbol(const char* name) {
    for (const char* module : {"vksplatform.dll", "vksacc.dll"})
        if (HMODULE m = GetModuleHandleA(module))
            if (FARPROC f = GetProcAddress(m, name)) return reinterpret_cast<void*>(f);
    return nullptr;
}

void UseStandinFolder(const std::string& folder) {
    // Searched after the program's own folder, before the system's.
    SetDllDirectoryA(folder.c_str());
}

}  // namespace os

namespace {

std::atomic<bool> g_stop{false};
HANDLE g_wake = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    g_stop = true;
    Wake();
    return TRUE;
}

}  // namespace

void InstallStopHandler() {
    if (!g_wake) g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    if (!g_stop && OutputClosed()) g_stop = true;
    return g_stop;
}

// A write to a pipe whose reader has gone fails (EINVAL or EPIPE from the C
// library); there is no way to see it before writing.
bool OutputClosed() { return std::ferror(stdout) != 0; }

void Wake() {
    if (g_wake) SetEvent(g_wake);
}

bool WaitForWake(int milliseconds) {
    if (StopRequested()) return false;
    const DWORD timeout = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    if (g_wake)
        WaitForSingleObject(g_wake, timeout);
    else if (milliseconds > 0)
        Sleep(timeout);
    return !StopRequested();
}

}  // namespace vksctl
