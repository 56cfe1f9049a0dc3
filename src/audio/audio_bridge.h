// The decoder-side audio commands: start, load and stop of the decoded audio
// stream, and the format and latency writes. Each locks the decoder's handle
// for exactly one synchronous command, so none may be called with that lock
// held by another thread that waits on the caller.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include "audio/audio_format.h"

// Decoded-audio command codes (functions 0x132 to 0x134).
enum : DWORD {
    IOCTL_VKS_AUDIO_LOAD = 0x22C4C8,
    IOCTL_VKS_AUDIO_START = 0x22C4CC,
    IOCTL_VKS_AUDIO_STOP = 0x22C4D0,
};
// Request fields of the start and load commands.
constexpr DWORD kAudioStartFrameSize = 24, kAudioStartFrames500 = 28, kAudioStartFrames250 = 32,
                kAudioStartFramesBuffer = 36, kAudioStartDataReady = 40, kAudioStartDataBuffered = 48;
constexpr DWORD kAudioLoadBytes = 24, kAudioLoadFrames = 28, kAudioLoadAddress = 32;
// Reply field of the load command.
constexpr DWORD kAudioLoadFramesWritten = 24;

VKSERROR VKSAccAudioRequestAudioStart(HVKS hVKSDec, DWORD frameSize, DWORD frames500, DWORD frames250,
                                      DWORD frames250PlusBuffer, HANDLE hDataReady, HANDLE hDataBuffered);
VKSERROR VKSAccAudioLoadData(HVKS hVKSDec, BYTE* pBuffer, DWORD bufferBytes, DWORD framesRequested,
                             DWORD* pFramesWritten);
VKSERROR VKSAccAudioRequestAudioStop(HVKS hVKSDec);
VKSERROR VKSAccAudioSetFormat(HVKS hVKSDec, const AudioRequiredFormat* format);
VKSERROR VKSAccAudioSetLatency(HVKS hVKSDec, DWORD latencyMs);

// A driver status as an HRESULT: notifications become success codes, all
// other statuses failures; anything that is not a VKSERROR is E_UNEXPECTED.
HRESULT HResultFromVKSError(VKSERROR code);
