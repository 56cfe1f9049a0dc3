// The Linux layer's test hooks (vks_win32/*_ext.h) for the Windows test
// programs, made of the Win32 API.
#include "vks_win32/audio_ext.h"
#include "vks_win32/linux_ext.h"
#include "vks_win32/window_ext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<size_t>(
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            static_cast<int>(out.size()))));
    return out;
}

// --- Debug output -----------------------------------------------------------
// OutputDebugString raises a debug-print exception that a debugger, and
// before any frame handler a vectored handler, sees; continuing execution
// ends the call there. Windows 10 raises the wide form first (length and text
// in the first two arguments), then the ANSI form if that one was not taken.
constexpr DWORD kPrintException = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintWideException = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

SRWLOCK g_captureLock = SRWLOCK_INIT;
VKS_DEBUG_CAPTURE g_capture = nullptr;
void* g_captureContext = nullptr;
PVOID g_handler = nullptr;

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const bool wide = record->ExceptionCode == kPrintWideException;
    if ((!wide && record->ExceptionCode != kPrintException) || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    AcquireSRWLockShared(&g_captureLock);
    const VKS_DEBUG_CAPTURE capture = g_capture;
    if (capture != nullptr) {
        // The length counts the terminating null.
        const size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
        const size_t units = length > 0 ? length - 1 : 0;
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        const std::wstring line = wide ? std::wstring(reinterpret_cast<const WCHAR*>(text), units)
                                       : Widen(std::string(text, units), CP_ACP);
        capture(line.c_str(), g_captureContext);
    }
    ReleaseSRWLockShared(&g_captureLock);
    return capture != nullptr ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

// --- Registry -------------------------------------------------------------
// The regedit files the tests write (support/test_env.h): keys under
// HKEY_LOCAL_MACHINE with string and dword values; any other line is
// reported. Keys the last import made are deleted before the next one, so
// that, as on Linux, only the current file's keys exist.
std::vector<std::wstring> g_importedKeys;

void ImportRegistryFile(const char* path) {
    static const std::string kRoot = "[HKEY_LOCAL_MACHINE\\";
    std::ifstream in(path);
    HKEY current = nullptr;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        const size_t equals = line.find("\"=");
        if (line.rfind(kRoot, 0) == 0 && line.back() == ']') {
            if (current != nullptr) RegCloseKey(current);
            const std::wstring subkey = Widen(line.substr(kRoot.size(), line.size() - kRoot.size() - 1));
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &current,
                                nullptr) != ERROR_SUCCESS)
                current = nullptr;
            else
                g_importedKeys.push_back(subkey);
        } else if (current != nullptr && line[0] == '"' && equals != std::string::npos &&
                   line.compare(equals + 2, 6, "dword:") == 0) {
            const DWORD value = std::strtoul(line.c_str() + equals + 8, nullptr, 16);
            RegSetValueExW(current, Widen(line.substr(1, equals - 1)).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&value), sizeof value);
        } else if (current != nullptr && line[0] == '"' && equals != std::string::npos && line.back() == '"') {
            const std::wstring text = Widen(line.substr(equals + 3, line.size() - equals - 4));
            RegSetValueExW(current, Widen(line.substr(1, equals - 1)).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>((text.size() + 1) * 2));
        } else if (!line.empty() && line[0] != ';' && line.rfind("Windows Registry Editor", 0) != 0) {
            std::fprintf(stderr, "test_hooks: registry line not imported: %s\n", line.c_str());
        }
    }
    if (current != nullptr) RegCloseKey(current);
}

}  // namespace

extern "C" {

void VksSetDebugCapture(VKS_DEBUG_CAPTURE capture, void* context) {
    AcquireSRWLockExclusive(&g_captureLock);
    if (g_handler == nullptr) g_handler = AddVectoredExceptionHandler(1, OnException);
    g_capture = capture;
    g_captureContext = context;
    ReleaseSRWLockExclusive(&g_captureLock);
}

DWORD VksOpenHandleCount(void) {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

void VksReloadRegistry(void) {
    for (const std::wstring& subkey : g_importedKeys) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, subkey.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey.c_str());
    }
    g_importedKeys.clear();
    const char* path = std::getenv("VKS_REGISTRY_FILE");
    if (path != nullptr && *path != '\0') ImportRegistryFile(path);
}

void VksBroadcastDisplayChange(DWORD bitsPerPixel, DWORD width, DWORD height) {
    SendNotifyMessageW(HWND_BROADCAST, WM_DISPLAYCHANGE, bitsPerPixel,
                       MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
}

// No simulated endpoint on Windows: see vks_win32/audio_ext.h here.
void VksAudioSetActivateGate(HANDLE) {}
BOOL VksAudioSetRecordFile(const char* path) { return path == nullptr; }
void VksAudioResetConfiguration(void) {}
void VksAudioGetStats(VKS_AUDIO_STATS* stats) { *stats = VKS_AUDIO_STATS{}; }
void VksAudioResetCounters(void) {}
BOOL VksAudioWaitPeriods(ULONGLONG, DWORD) { return FALSE; }
BOOL VksAudioWaitFramesPlayed(ULONGLONG, DWORD) { return FALSE; }
BOOL VksAudioWaitSessionStreamCount(const GUID*, DWORD, DWORD) { return FALSE; }
}
