#include "audio/audio_bridge.h"

#include "audio/audio_thread.h"
#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/param_blocks.h"
#include "driver/param_commands.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"

#include <cstdlib>
#include <cstring>

namespace {

void* AsPointer(HVKS handle) { return reinterpret_cast<void*>(static_cast<ULONG_PTR>(handle)); }

// One synchronous command on the decoder under its lock.
template <typename Fill, typename Read>
VKSERROR DecoderCommand(HVKS handle, DWORD code, Fill fill, Read read) {
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(handle, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    fill(request.Bytes);
    const VKSERROR status = HandleIoctlSync(object, code, request.Bytes, reply.Bytes);
    read(reply.Bytes);
    UnlockHandle(handle, object);
    return status;
}

// A parameter write naming one field of the decoder block.
VKSERROR DecoderParameterWrite(HVKS handle, DWORD flag, const void* data, size_t offset, size_t size) {
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(handle, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    DecoderParamBlock block;
    std::memset(&block, 0, sizeof(block));
    block.Size = sizeof(block);
    std::memcpy(reinterpret_cast<BYTE*>(&block) + offset, data, size);
    const VKSERROR status = VKSSetParameterK(object, 0, flag, &block);
    UnlockHandle(handle, object);
    return status;
}

}  // namespace

HRESULT HResultFromVKSError(VKSERROR code) {
    if (code == VKSERROR_NO_ERROR) return S_OK;
    if ((code & 0x0FFF0000u) != 0x01340000u) {
        LogError(WSTR("HResultFromVKSError: Not an VKSERROR:%08X. Thread:%08X\n"), code, GetCurrentThreadId());
        return E_UNEXPECTED;
    }
    const DWORD base = (code & 0xFFFu) < 0x400u ? 0x80040000u : 0x00040000u;
    const auto result = static_cast<HRESULT>((code & 0xFFFFu) | base);
    LogError(WSTR("HResultFromVKSError: Converted VKSERROR:%08X to HRESULT:%08X. Thread:%08X\n"), code,
             static_cast<DWORD>(result), GetCurrentThreadId());
    return result;
}

VKSERROR VKSAccAudioRequestAudioStart(HVKS hVKSDec, DWORD frameSize, DWORD frames500, DWORD frames250,
                                      DWORD frames250PlusBuffer, HANDLE hDataReady, HANDLE hDataBuffered) {
    LogVerbose(WSTR("VKSAccAudioRequestAudioStart: ENTER - hVKSDec:%p, FrameSize:%u.\n"), AsPointer(hVKSDec),
               frameSize);
    return DecoderCommand(
        hVKSDec, IOCTL_VKS_AUDIO_START,
        [&](BYTE* request) {
            WriteU32(request, kAudioStartFrameSize, frameSize);
            WriteU32(request, kAudioStartFrames500, frames500);
            WriteU32(request, kAudioStartFrames250, frames250);
            WriteU32(request, kAudioStartFramesBuffer, frames250PlusBuffer);
            WriteU64(request, kAudioStartDataReady, reinterpret_cast<ULONG_PTR>(hDataReady));
            WriteU64(request, kAudioStartDataBuffered, reinterpret_cast<ULONG_PTR>(hDataBuffered));
        },
        [](const BYTE*) {});
}

VKSERROR VKSAccAudioLoadData(HVKS hVKSDec, BYTE* pBuffer, DWORD bufferBytes, DWORD framesRequested,
                             DWORD* pFramesWritten) {
    LogVerbose(WSTR("VKSAccAudioLoadData: ENTER - hVKSDec:%p pBuffer:%p framesRequested:%d pFramesWritten:%p\n"),
               AsPointer(hVKSDec), pBuffer, static_cast<int>(framesRequested), pFramesWritten);
    if (hVKSDec == 0 || pBuffer == nullptr || pFramesWritten == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSERROR status = DecoderCommand(
        hVKSDec, IOCTL_VKS_AUDIO_LOAD,
        [&](BYTE* request) {
            WriteU32(request, kAudioLoadBytes, bufferBytes);
            WriteU32(request, kAudioLoadFrames, framesRequested);
            WriteU64(request, kAudioLoadAddress, reinterpret_cast<ULONG_PTR>(pBuffer));
        },
        // The reply template holds 0 here, so a command that was not carried
        // out reads as nothing written.
        [&](const BYTE* reply) { *pFramesWritten = ReadU32(reply, kAudioLoadFramesWritten); });
    LogVerbose(WSTR("VKSAccAudioLoadData: EXIT - hVKSDec:%p pBuffer:%p framesRequested:%d pFramesWritten:%p:%d\n"),
               AsPointer(hVKSDec), pBuffer, static_cast<int>(framesRequested), pFramesWritten,
               static_cast<int>(*pFramesWritten));
    return status;
}

VKSERROR VKSAccAudioRequestAudioStop(HVKS hVKSDec) {
    LogVerbose(WSTR("VKSAccAudioRequestAudioStop: ENTER - hVKSDec:%p.\n"), AsPointer(hVKSDec));
    return DecoderCommand(hVKSDec, IOCTL_VKS_AUDIO_STOP, [](BYTE*) {}, [](const BYTE*) {});
}

VKSERROR VKSAccAudioSetFormat(HVKS hVKSDec, const AudioRequiredFormat* format) {
    return DecoderParameterWrite(hVKSDec, kDecoderFlagAudioFormat, format,
                                 offsetof(DecoderParamBlock, AudioRequiredFormat), sizeof(AudioRequiredFormat));
}

VKSERROR VKSAccAudioSetLatency(HVKS hVKSDec, DWORD latencyMs) {
    return DecoderParameterWrite(hVKSDec, kDecoderFlagPlaybackLatency, &latencyMs,
                                 offsetof(DecoderParamBlock, PlaybackLatencyMs), sizeof(latencyMs));
}

extern "C" {

VKSERROR VKSAPI VKSDecoderDeviceSetAudioDecodeEnabled(uint32_t bEnabled) {
    LogNotification(WSTR("VKSACC::VKSEngineSetAudioDecodeEnabled: START - bEnabled(%u) - Global.bAudioDecodeEnabled(%u)\n"),
                    bEnabled, static_cast<unsigned>(Global.bAudioDecodeEnabled));
    Global.bAudioDecodeEnabled = static_cast<BOOL>(bEnabled);
    LogNotification(WSTR("VKSACC::VKSEngineSetAudioDecodeEnabled: END - bEnabled(%u) - Global.bAudioDecodeEnabled(%u)\n"),
                    bEnabled, bEnabled);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDecoderDeviceGetAudioSessionId(HVKS hVKS, char* pszSessionId) {
    if (pszSessionId == nullptr) return VKSERROR_INVALID_ARGUMENT;
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(hVKS, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    if (object->pAudioThread == nullptr) {
        UnlockHandle(hVKS, object);
        return VKSERROR_UNEXPECTED;
    }
    const GuidText text = FormatGuid(AudioThreadSessionGuid(object->pAudioThread));
    wcstombs(pszSessionId, text.Text, VKS_AUDIO_SESSION_ID_SIZE);
    UnlockHandle(hVKS, object);
    return VKSERROR_NO_ERROR;
}

}  // extern "C"
