// The Linux layer's controls of its simulated audio endpoint, as far as the
// tests built for Windows use them. Windows sound goes to the real default
// endpoint, which has none of them: in the Windows test programs
// (tests/windows/test_hooks.cpp) the settings fail (FALSE) or do nothing, the
// counters stay at zero and the waits fail at once. The tests that need them
// are in tests/windows/wine_exclusions.txt; the declarations are those of
// platform/include/vks_win32/audio_ext.h, with the figures these tests read.
#pragma once

#include <windows.h>
#include <audioclient.h>

extern "C" {

void VksAudioSetActivateGate(HANDLE gate);
BOOL VksAudioSetRecordFile(const char* path);
void VksAudioResetConfiguration(void);

typedef struct VKS_AUDIO_STATS {
    ULONGLONG periods;
    ULONGLONG framesPlayed;
    ULONGLONG underruns;
    DWORD streamsOpen;
    DWORD mmcssTasks;
} VKS_AUDIO_STATS;
void VksAudioGetStats(VKS_AUDIO_STATS* stats);
void VksAudioResetCounters(void);

BOOL VksAudioWaitPeriods(ULONGLONG periods, DWORD milliseconds);
BOOL VksAudioWaitFramesPlayed(ULONGLONG frames, DWORD milliseconds);
BOOL VksAudioWaitSessionStreamCount(const GUID* session, DWORD count, DWORD milliseconds);
}
