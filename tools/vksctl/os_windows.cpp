#include "os.h"
#include "session.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <windows.h>

namespace vksctl {

namespace os {

bool IsFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExecutableDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ".";
    std::string p(path, n);
    const size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string RealPath(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return n == 0 || n >= MAX_PATH ? std::string() : std::string(full, n);
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

void UseStandinFolder(const std::string& folder) {
    // Searched after the program's own folder, before the system's.
    SetDllDirectoryA(folder.c_str());
}

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

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

bool StopRequested() { return g_stop; }

void Wake() {
    if (g_wake) SetEvent(g_wake);
}

bool WaitForWake(int milliseconds) {
    if (g_stop) return false;
    if (g_wake)
        WaitForSingleObject(g_wake, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
    else if (milliseconds > 0)
        Sleep(static_cast<DWORD>(milliseconds));
    return !g_stop;
}

}  // namespace vksctl
