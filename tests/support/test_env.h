// Helpers that set up the process environment the library reads: a registry
// file, the folder stand-in libraries are loaded from, and a capture of the
// debug output.
#pragma once

#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace vkstest {

// Folder where the build puts the stand-in libraries.
inline std::string StandinDir() { return VKS_TEST_STANDIN_DIR; }

// Writes `body` (lines after the header) to a fresh registry file and makes
// the platform read it; removed and unset on destruction.
class ScopedRegistry {
public:
    explicit ScopedRegistry(const std::string& body) {
        char pattern[] = "/tmp/vks-registry-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
        std::ofstream(path_) << "Windows Registry Editor Version 5.00\n\n" << body;
        setenv("VKS_REGISTRY_FILE", path_.c_str(), 1);
        VksReloadRegistry();
    }
    ~ScopedRegistry() {
        unsetenv("VKS_REGISTRY_FILE");
        VksReloadRegistry();
        std::remove(path_.c_str());
    }
    ScopedRegistry(const ScopedRegistry&) = delete;
    ScopedRegistry& operator=(const ScopedRegistry&) = delete;

private:
    std::string path_;
};

// The library's configuration key as a registry file section.
inline std::string ConfigKey(const std::string& values) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3A71D0C2-5B9E-4d17-A6F3-0C94E2B8D715}]\n" + values + "\n";
}

// The OEM stand-in's key as a registry file section.
inline std::string OemKey(const std::string& values) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELANTIS\\OEM]\n" + values + "\n";
}

// Sets VKS_DLL_PATH for the scope (empty: unset).
class ScopedDllPath {
public:
    explicit ScopedDllPath(const std::string& path) {
        if (path.empty()) {
            unsetenv("VKS_DLL_PATH");
        } else {
            setenv("VKS_DLL_PATH", path.c_str(), 1);
        }
    }
    ~ScopedDllPath() { unsetenv("VKS_DLL_PATH"); }
};

inline std::string ToUtf8(const WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// Collects every debug-output line while alive.
class DebugCapture {
public:
    DebugCapture() { VksSetDebugCapture(&DebugCapture::Receive, this); }
    ~DebugCapture() { VksSetDebugCapture(nullptr, nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::basic_string<WCHAR>> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    bool Contains(const std::string& needle) { return !Matching(needle).empty(); }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }
    // Waits until some line holds `needle`; false after `timeout`.
    bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return added_.wait_for(lock, timeout, [&] { return !MatchingLocked(needle).empty(); });
    }
    // Lines containing `needle`, as UTF-8.
    std::vector<std::string> Matching(const std::string& needle) {
        std::lock_guard<std::mutex> lock(mutex_);
        return MatchingLocked(needle);
    }

private:
    std::vector<std::string> MatchingLocked(const std::string& needle) const {
        std::vector<std::string> out;
        for (const auto& line : lines_) {
            std::string text = ToUtf8(line.c_str());
            if (text.find(needle) != std::string::npos) out.push_back(std::move(text));
        }
        return out;
    }
    static void Receive(LPCWSTR line, void* context) {
        auto* self = static_cast<DebugCapture*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(line);
        self->added_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable added_;
    std::vector<std::basic_string<WCHAR>> lines_;
};

}  // namespace vkstest
