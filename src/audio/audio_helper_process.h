// The helper process of an audio session: a small program that holds a
// never-started render stream open in the session, so that the session stays
// alive between the decoders' own streams. One helper per session GUID, shared
// by every decoder of the session and stopped when the last one lets go.
#pragma once

#include "vks_platform.h"

#include <cstddef>
#include <memory>
#include <unordered_map>

namespace Velantis::VKS {

class AudioHelperProcess {
public:
    explicit AudioHelperProcess(const GUID& sessionGuid);
    ~AudioHelperProcess();
    AudioHelperProcess(const AudioHelperProcess&) = delete;
    AudioHelperProcess& operator=(const AudioHelperProcess&) = delete;

    // Waits up to 250 ms for the helper to report that its stream is open.
    bool WaitForProcessStart();

    // Test support: the launched process (all zero when the launch failed).
    const PROCESS_INFORMATION& Information() const { return ProcessInformation; }

private:
    bool LaunchProcess(const GUID& sessionGuid);
    void StopProcess();
    static void LogWaitFailure(DWORD waitResult, const WCHAR* description);

    PROCESS_INFORMATION ProcessInformation{};
    HANDLE hEventProcessStarted = nullptr;  // set by the helper once its stream is open
    HANDLE hEventProcessStop = nullptr;     // set by the library to stop the helper
};

// Rotate-and-xor of the 64-bit FNV-1a hashes of the GUID's eleven fields.
struct SessionGuidHash {
    size_t operator()(const GUID& guid) const noexcept;
};
struct SessionGuidEqual {
    bool operator()(const GUID& a, const GUID& b) const noexcept;
};

// The one manager lives from its first use to the end of the process: it has
// no destructor, so that no release of a helper can meet a destroyed lock.
class AudioHelperProcessManager {
public:
    AudioHelperProcessManager();
    ~AudioHelperProcessManager() = delete;
    AudioHelperProcessManager(const AudioHelperProcessManager&) = delete;
    AudioHelperProcessManager& operator=(const AudioHelperProcessManager&) = delete;

    // The one manager of the library.
    static AudioHelperProcessManager& Instance();

    // The session's helper, started when the session has none alive.
    std::shared_ptr<AudioHelperProcess> GetSessionProcess(const GUID& sessionGuid);
    // Drops the session's entry (called after its helper was stopped).
    void RemoveSession(const GUID& sessionGuid);

    // Test support: entries in the map.
    size_t EntryCount();

private:
    std::unordered_map<GUID, std::weak_ptr<AudioHelperProcess>, SessionGuidHash, SessionGuidEqual> sessions_;
    // Plain, never taken recursively.
    CRITICAL_SECTION lock_;
};

// The helper's command line: "742AudioHelper.exe <braced GUID> <started> <stop>",
// handle values as 16 upper-case hex digits. Always 91 characters.
constexpr size_t kHelperCommandLineUnits = 92;
void FormatHelperCommandLine(const GUID& sessionGuid, HANDLE started, HANDLE stop,
                             WCHAR (&commandLine)[kHelperCommandLineUnits]);

}  // namespace Velantis::VKS
