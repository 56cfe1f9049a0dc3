// The decoder's own exports around the common open, close and state routines.
#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "objects/device_objects.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/output_samples.h"
#include "objects/renderer.h"
#include "objects/user_handle.h"

#include <cstring>

namespace {

// Locks a handle that must be a decoder.
VKSERROR LockDecoder(HVKS handle, UserHandle** object) {
    const VKSERROR status = LockHandleAs(handle, object);
    if (status != VKSERROR_NO_ERROR) return status;
    if ((*object)->Type != VKSDEVICETYPE_DECODER) {
        UnlockHandle(handle, *object);
        return VKSERROR_INVALID_HANDLE;
    }
    return VKSERROR_NO_ERROR;
}

// Queue-output-sample request fields.
constexpr DWORD kSampleFormat1 = 24, kSampleFormat2 = 28, kSampleKind = 32, kSampleWord = 36, kSampleLayout = 40;
constexpr DWORD kSampleCount = 44, kSampleSlots = 48, kSampleSlotBytes = 24, kSampleMaxSlots = 3;
constexpr DWORD kSampleSecondPlanes = 120, kSampleFirstPlanes = 168, kSampleReserved = 216, kSampleEcho = 224;

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSDecoderDeviceOpenEx(uint32_t DecoderIndex, uint32_t OpenFlags, uint32_t, HVKS* phVKS,
                                       const NetworkStreamOpenParams* pParams, VKSGUID* pSessionGuid) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, DecoderIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    return DeviceOpen(DecoderIndex, device, VKSDEVICETYPE_DECODER, nullptr, OpenFlags, phVKS,
                      pParams != nullptr ? pParams->TransportSelector : 0,
                      pParams != nullptr ? pParams->StreamOptions : nullptr, pSessionGuid);
}

VKSERROR VKSAPI VKSDecoderDeviceOpen(uint32_t DecoderIndex, uint32_t OpenFlags, uint32_t Reserved, HVKS* phVKS,
                                     NetworkStreamOpenParamsV1* pParams, VKSGUID* pSessionGuid) {
    if (pParams == nullptr) {
        return VKSDecoderDeviceOpenEx(DecoderIndex, OpenFlags, Reserved, phVKS, nullptr, pSessionGuid);
    }
    NetworkStreamOpenParams params;
    std::memset(&params, 0, sizeof(params));
    params.Reserved0 = pParams->Reserved0;
    params.Reserved1 = pParams->Reserved1;
    params.Reserved2 = pParams->Reserved2;
    params.TransportSelector = pParams->bTransport != 0 ? 5 : 1;
    std::memcpy(params.StreamOptions, pParams->StreamOptions, sizeof(params.StreamOptions));
    const VKSERROR status = VKSDecoderDeviceOpenEx(DecoderIndex, OpenFlags, Reserved, phVKS, &params, pSessionGuid);
    pParams->Reserved0 = params.Reserved0;
    pParams->Reserved1 = params.Reserved1;
    pParams->Reserved2 = params.Reserved2;
    std::memcpy(pParams->StreamOptions, params.StreamOptions, sizeof(params.StreamOptions));
    return status;
}

VKSERROR VKSAPI VKSDecoderDeviceClose(HVKS hVKS) {
    const VKSERROR status = DeviceClose(hVKS);
    RemoveHandleFromList(hVKS);
    return status;
}

VKSERROR VKSAPI VKSDecoderDeviceGetState(HVKS hVKS, uint32_t* pState) { return DeviceGetState(hVKS, pState); }

VKSERROR VKSAPI VKSDecoderDeviceSetState(HVKS hSource, uint32_t ConnectArg, HVKS hDecoder, uint32_t State) {
    LogTrace(WSTR("VKSDecoderDeviceSetState  IN, %x, %x, %d\n"), hSource, hDecoder, State);
    VKSERROR result = VKSERROR_NO_ERROR;
    UserHandle* source = nullptr;
    UserHandle* decoder = nullptr;
    DWORD sourceHandle = 0;
    if (hSource != 0) {
        result = LockHandleAs(hSource, &source);
        if (result == VKSERROR_NO_ERROR && source->Type != VKSDEVICETYPE_NETWORK) result = VKSERROR_INVALID_HANDLE;
        if (result == VKSERROR_NO_ERROR) sourceHandle = source->HVKSHandle;
        if (result != VKSERROR_NO_ERROR && result != VKSERROR_INVALID_HANDLE) source = nullptr;  // never locked
    }
    if (result == VKSERROR_NO_ERROR) {
        result = LockHandleAs(hDecoder, &decoder);
        if (result == VKSERROR_NO_ERROR && decoder->Type != VKSDEVICETYPE_DECODER) result = VKSERROR_INVALID_HANDLE;
        if (result != VKSERROR_NO_ERROR && result != VKSERROR_INVALID_HANDLE) decoder = nullptr;
    }
    if (result == VKSERROR_NO_ERROR && State == 2) {
        CommandRequest request = kRequestTemplate;
        CommandReply reply = kReplyTemplate;
        WriteU32(request.Bytes, kPayload, sourceHandle);
        WriteU32(request.Bytes, kPayload + 4, ConnectArg);
        result = HandleIoctlSync(decoder, IOCTL_VKS_CONNECT_SOURCE, request.Bytes, reply.Bytes);
    }
    if (result == VKSERROR_NO_ERROR) {
        const DWORD previous = decoder->State;
        if (hSource != 0) DeviceSetState(hSource, State);
        result = DeviceSetState(hDecoder, State);
        if (result == VKSERROR_NO_ERROR) RendererFollowDecoderState(decoder, previous, State);
    }
    if (decoder != nullptr) UnlockHandle(hDecoder, decoder);
    if (source != nullptr) UnlockHandle(hSource, source);
    LogTrace(WSTR("VKSDecoderDeviceSetState OUT, %x, %x, %d\n"), hSource, hDecoder, State);
    return result;
}

VKSERROR VKSAPI VKSDecoderDeviceSetErrorFn(void*, uint32_t, HVKS hVKS, VKSDECODERERRORFN pFn, void* pContext) {
    UserHandle* object = nullptr;
    const VKSERROR status = LockDecoder(hVKS, &object);
    if (status != VKSERROR_NO_ERROR) return status;
    object->pErrorFn = reinterpret_cast<void*>(pFn);
    object->pErrorContext = pContext;
    UnlockHandle(hVKS, object);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDecoderDeviceSetOutputMediaSampleReturnFn(HVKS hVKS, VKSDECODERMEDIASAMPLERETURNFN pFn,
                                                             void* pContext) {
    UserHandle* object = nullptr;
    const VKSERROR status = LockDecoder(hVKS, &object);
    if (status != VKSERROR_NO_ERROR) return status;
    object->pOutputSampleReturnFn = reinterpret_cast<void*>(pFn);
    object->pOutputSampleReturnContext = pContext;
    UnlockHandle(hVKS, object);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDecoderDeviceSetInputMediaSampleReturnFn(HVKS, VKSDECODERMEDIASAMPLERETURNFN, void*) {
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceChainInputMediaSample(HVKS, VKSMEDIASAMPLE*) { return VKSERROR_UNSUPPORTED; }

VKSERROR VKSAPI VKSDecoderDeviceChainOutputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample) {
    if (pSample == nullptr || pSample->pMediaType == nullptr || pSample->pBuffers == nullptr) {
        return VKSERROR_INVALID_ARGUMENT;
    }
    UserHandle* object = nullptr;
    VKSERROR status = LockHandleAs(hVKS, &object);
    if (status != VKSERROR_NO_ERROR) return status;

    const VKSMEDIABUFFERS* buffers = pSample->pBuffers;
    const bool planes = pSample->Layout == 2;
    // The request has room for three buffers; more are not sent.
    const DWORD count = buffers->BufferCount < kSampleMaxSlots ? buffers->BufferCount : kSampleMaxSlots;
    CommandRequest request = kRequestTemplate;
    BYTE* r = request.Bytes;
    WriteU32(r, kSampleFormat1, pSample->pMediaType->FormatWord1);
    WriteU32(r, kSampleFormat2, pSample->pMediaType->FormatWord2);
    WriteU32(r, kSampleKind, pSample->Kind);
    WriteU32(r, kSampleWord, pSample->SampleWord);
    WriteU32(r, kSampleLayout, pSample->Layout);
    r[kSampleCount] = static_cast<BYTE>(count);
    for (DWORD k = 0; k < count; ++k) {
        const DWORD slot = kSampleSlots + kSampleSlotBytes * k;
        WriteU32(r, slot, buffers->Buffers[k].BufferWord);
        WriteU32(r, slot + 4, buffers->Buffers[k].Length);
        WriteU64(r, slot + 8, planes ? buffers->Planes.ThirdPlaneValues[k] : 0);
        WriteU64(r, slot + 16, reinterpret_cast<ULONG_PTR>(buffers->Buffers[k].pData));
        if (planes) {
            WriteU64(r, kSampleSecondPlanes + 16 * k, buffers->Planes.SecondPlaneValues[k]);
            WriteU64(r, kSampleFirstPlanes + 16 * k, buffers->Planes.FirstPlaneValues[k]);
        }
    }
    WriteU64(r, kSampleReserved, 0);
    WriteU64(r, kSampleEcho, reinterpret_cast<ULONG_PTR>(pSample));
    // Recorded before the request goes: its completion may only name a sample
    // found in this list.
    if (!OutputSampleAdd(object, pSample)) {
        UnlockHandle(hVKS, object);
        return VKSERROR_INSUFFICIENT_MEMORY;
    }
    status = HandleIoctlOverlapped(object, IOCTL_VKS_DECODER_OUTPUT_SAMPLE, r);
    if (status == VKSERROR_NO_ERROR) {
        InterlockedIncrement(&object->OutstandingOutputSamples);
    } else {
        OutputSampleTake(object, reinterpret_cast<ULONG_PTR>(pSample));
    }
    UnlockHandle(hVKS, object);
    return status;
}

VKSERROR VKSAPI VKSDecoderDeviceGetProcessId(HVKS hVKS, uint32_t* pProcessId) {
    if (pProcessId == nullptr) return VKSERROR_INVALID_ARGUMENT;
    UserHandle* object = nullptr;
    const VKSERROR status = LockHandleAs(hVKS, &object);
    if (status != VKSERROR_NO_ERROR) return status;
    *pProcessId = GetCurrentProcessId();
    UnlockHandle(hVKS, object);
    return VKSERROR_NO_ERROR;
}


}  // extern "C"
