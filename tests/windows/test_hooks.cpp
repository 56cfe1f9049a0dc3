// The Linux layer's test hooks (vks_win32/*_ext.h) for the Windows test
// programs, made of the Win32 API.
#include "vks_win32/audio_ext.h"
#include "vks_win32/linux_ext.h"
#include "vks_win32/window_ext.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

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
        std::wstring line;
        if (wide) {
            line.assign(reinterpret_cast<const WCHAR*>(record->ExceptionInformation[1]), length > 0 ? length - 1 : 0);
        } else {
            const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
            const int bytes = static_cast<int>(length > 0 ? length - 1 : 0);
            line.resize(static_cast<size_t>(bytes));
            line.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text, bytes, line.data(), bytes)));
        }
        capture(line.c_str(), g_captureContext);
    }
    ReleaseSRWLockShared(&g_captureLock);
    return capture != nullptr ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

// --- Registry -------------------------------------------------------------
// The regedit files the tests write: key lines, and string and dword values.
// Keys the last import made are deleted before the next one, so that, as on
// Linux, only the current file's keys exist.
std::vector<std::pair<HKEY, std::wstring>> g_importedKeys;

std::wstring Widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            static_cast<int>(out.size()))));
    return out;
}

bool SplitKey(const std::string& path, HKEY* root, std::wstring* subkey) {
    static const std::pair<const char*, HKEY> kRoots[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    const std::string head = path.substr(0, path.find('\\'));
    for (const auto& [name, key] : kRoots) {
        if (_stricmp(head.c_str(), name) == 0) {
            *root = key;
            *subkey = head.size() < path.size() ? Widen(path.substr(head.size() + 1)) : std::wstring();
            return true;
        }
    }
    return false;
}

// A quoted name or text from `pos` (at the opening quote), with \\ and \"
// escapes; `pos` ends after the closing quote.
std::string Quoted(const std::string& line, size_t& pos) {
    std::string out;
    for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] == '\\' && pos + 1 < line.size()) ++pos;
        out += line[pos];
    }
    ++pos;
    return out;
}

void SetValue(HKEY key, const std::string& line) {
    size_t pos = 0;
    std::wstring name;
    if (line[0] == '"') {
        name = Widen(Quoted(line, pos));
    } else if (line[0] == '@') {
        pos = 1;
    } else {
        return;
    }
    if (pos >= line.size() || line[pos] != '=') return;
    const std::string data = line.substr(pos + 1);
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (data == "-") {
        RegDeleteValueW(key, valueName);
    } else if (data.rfind("dword:", 0) == 0) {
        const DWORD value = std::strtoul(data.c_str() + 6, nullptr, 16);
        RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else if (!data.empty() && data[0] == '"') {
        size_t at = 0;
        const std::wstring text = Widen(Quoted(data, at));
        RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
}

void ImportRegistryFile(const char* path) {
    std::ifstream in(path);
    HKEY current = nullptr;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[' && line.back() == ']') {
            if (current != nullptr) RegCloseKey(current);
            current = nullptr;
            const bool remove = line[1] == '-';
            HKEY root = nullptr;
            std::wstring subkey;
            if (!SplitKey(line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2)), &root, &subkey)) continue;
            if (remove) {
                RegDeleteTreeW(root, subkey.c_str());
                RegDeleteKeyW(root, subkey.c_str());
            } else if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &current,
                                       nullptr) == ERROR_SUCCESS) {
                g_importedKeys.emplace_back(root, subkey);
            }
        } else if (current != nullptr) {
            SetValue(current, line);
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
    for (const auto& [root, subkey] : g_importedKeys) {
        RegDeleteTreeW(root, subkey.c_str());
        RegDeleteKeyW(root, subkey.c_str());
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
BOOL VksAudioSetFormat(VKS_AUDIO_FORMAT_KIND, DWORD, WORD) { return FALSE; }
BOOL VksAudioSetPeriod(REFERENCE_TIME) { return FALSE; }
void VksAudioSetEndpointPresent(BOOL) {}
void VksAudioSetActivateGate(HANDLE) {}
BOOL VksAudioSetRecordFile(const char* path) { return path == nullptr; }
void VksAudioResetConfiguration(void) {}
void VksAudioGetStats(VKS_AUDIO_STATS* stats) { *stats = VKS_AUDIO_STATS{}; }
void VksAudioResetCounters(void) {}
DWORD VksAudioSessionStreamCount(const GUID*) { return 0; }
BOOL VksAudioWaitPeriods(ULONGLONG, DWORD) { return FALSE; }
BOOL VksAudioWaitFramesPlayed(ULONGLONG, DWORD) { return FALSE; }
BOOL VksAudioWaitUnderruns(ULONGLONG, DWORD) { return FALSE; }
BOOL VksAudioWaitStreamsStarted(DWORD, DWORD) { return FALSE; }
BOOL VksAudioWaitSessionStreamCount(const GUID*, DWORD, DWORD) { return FALSE; }
}
