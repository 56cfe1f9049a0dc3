// The encoder's own exports: open, close and state around the common object
// routines, the callback registrations, and the exchange of media samples
// with the device (raw input synchronously, empty output buffers queued for
// the worker to complete).
#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "objects/output_samples.h"
#include "objects/device_objects.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/user_handle.h"

namespace {

constexpr DWORD IOCTL_VKS_SUPPLY_RAW_DATA = 0x22C490;
static_assert(VksIoctl(0x124) == IOCTL_VKS_SUPPLY_RAW_DATA && VksIoctl(0x107) == IOCTL_VKS_ENCODER_OUTPUT_SAMPLE,
              "encoder sample command codes");

// Raw input request fields.
constexpr DWORD kInputFormat1 = 24, kInputFormat2 = 28, kInputTotalLength = 32, kInputData = 40;

// Output sample request fields.
constexpr DWORD kOutputFormat1 = 24, kOutputFormat2 = 28, kOutputLength = 32, kOutputKind = 36;
constexpr DWORD kOutputSampleWord = 40, kOutputLayout = 44, kOutputBufferWord = 48, kOutputLengthAgain = 52;
constexpr DWORD kOutputThirdPlane = 56, kOutputData = 64, kOutputSecondPlane = 72, kOutputFirstPlane = 88;
constexpr DWORD kOutputDataAgain = 104, kOutputUserData = 112;
static_assert(kOutputUserData + 8 <= kRequestBytes, "output sample fields lie inside the request");

// Entries a buffer list has room for: more would lie beyond the record.
constexpr DWORD kMaxBufferEntries = sizeof(VKSMEDIABUFFERS::Buffers) / sizeof(VKSMEDIABUFFER);
static_assert(kMaxBufferEntries == 3, "a buffer list holds three entries");

// Units of the buffer the PUserData line is formatted into.
constexpr size_t kUserDataLineUnits = 256;

ULONGLONG PointerValue(const void* pointer) {
    return static_cast<ULONGLONG>(reinterpret_cast<ULONG_PTR>(pointer));
}

// Locks the handle and checks that it is an encoder; on success the object
// stays locked.
VKSERROR LockEncoder(HVKS handle, UserHandle** object) {
    const VKSERROR status = LockHandleAs(handle, object);
    if (status != VKSERROR_NO_ERROR) return status;
    if ((*object)->Type != VKSDEVICETYPE_ENCODER) {
        UnlockHandle(handle, *object);
        return VKSERROR_INVALID_HANDLE;
    }
    return VKSERROR_NO_ERROR;
}

// Stores one callback pair of an encoder (a null function switches it off).
VKSERROR StoreCallback(HVKS handle, void* function, void* context, void* UserHandle::*functionField,
                       void* UserHandle::*contextField) {
    UserHandle* object = nullptr;
    const VKSERROR status = LockEncoder(handle, &object);
    if (status != VKSERROR_NO_ERROR) return status;
    object->*functionField = function;
    object->*contextField = context;
    UnlockHandle(handle, object);
    return VKSERROR_NO_ERROR;
}

// The two format words a sample carries to the device, or zeros.
void FormatWords(const VKSMEDIASAMPLE* sample, bool kindAccepted, DWORD* first, DWORD* second) {
    *first = 0;
    *second = 0;
    if (sample->pMediaType != nullptr && kindAccepted) {
        *first = sample->pMediaType->FormatWord1;
        *second = sample->pMediaType->FormatWord2;
    }
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSEncoderDeviceOpen(uint32_t EncoderIndex, uint32_t OpenOption, HVKS* phVKS) {
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceOpen: Device (0x%d) Enter\n"), EncoderIndex);
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_ENCODER, EncoderIndex);
    if (device == nullptr) {
        LogError(WSTR("VKSACC::VKSEncoderDeviceOpen: Device (%d) INVALID_INPUT Exit\n"), EncoderIndex);
        return VKSERROR_INVALID_INPUT;
    }
    const VKSERROR result =
        DeviceOpen(EncoderIndex, device, VKSDEVICETYPE_ENCODER, nullptr, OpenOption, phVKS, 0, nullptr, nullptr);
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceOpen: Device (0x%d) Error (0x%x) Exit\n"), EncoderIndex, result);
    return result;
}

VKSERROR VKSAPI VKSEncoderDeviceClose(HVKS hVKS) {
    const VKSERROR status = DeviceClose(hVKS);
    RemoveHandleFromList(hVKS);
    return status;
}

VKSERROR VKSAPI VKSEncoderDeviceGetState(HVKS hVKS, uint32_t* pState) { return DeviceGetState(hVKS, pState); }

VKSERROR VKSAPI VKSEncoderDeviceSetState(HVKS hVKS, uint32_t State) { return DeviceSetState(hVKS, State); }

VKSERROR VKSAPI VKSEncoderDeviceSetErrorFn(HVKS hVKS, VKSENCODERERRORFN pFn, void* pContext) {
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceSetErrorFn: VKSHandle (0x%x) Enter\n"), hVKS);
    const VKSERROR result = StoreCallback(hVKS, reinterpret_cast<void*>(pFn), pContext, &UserHandle::pErrorFn,
                                          &UserHandle::pErrorContext);
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceSetErrorFn: VKSHandle (0x%x) Error (0x%x)  Exit\n"), hVKS, result);
    return result;
}

VKSERROR VKSAPI VKSEncoderDeviceSetEncryptionKeysFn(HVKS hVKS, VKSENCRYPTIONKEYSFN pFn, void* pContext) {
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceSetEncryptionKeysFn: VKSHandle (0x%x) Enter\n"), hVKS);
    const VKSERROR result = StoreCallback(hVKS, reinterpret_cast<void*>(pFn), pContext,
                                          &UserHandle::pEncryptionKeysFn, &UserHandle::pEncryptionKeysContext);
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceSetEncryptionKeysFn: VKSHandle (0x%x) Error (0x%x)  Exit\n"), hVKS,
             result);
    return result;
}

VKSERROR VKSAPI VKSEncoderDeviceSetOutputMediaSampleReturnFn(HVKS hVKS, VKSENCODERMEDIASAMPLERETURNFN pFn,
                                                             void* pContext) {
    LogTrace(WSTR("VKSACC::VKSEncoderDeviceSetOutputMediaSampleReturnFn: VKSHandle (0x%x) Enter\n"), hVKS);
    return StoreCallback(hVKS, reinterpret_cast<void*>(pFn), pContext, &UserHandle::pOutputSampleReturnFn,
                         &UserHandle::pOutputSampleReturnContext);
}

VKSERROR VKSAPI VKSEncoderDeviceSetInputMediaSampleReturnFn(HVKS, VKSENCODERMEDIASAMPLERETURNFN, void*) {
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceFlushMediaSamples(HVKS) { return VKSERROR_UNSUPPORTED; }

VKSERROR VKSAPI VKSEncoderDeviceChainInputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample) {
    if (pSample == nullptr || pSample->pBuffers == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSMEDIABUFFERS* buffers = pSample->pBuffers;
    // A count beyond the list's room would read lengths from outside the
    // record; such a list is refused rather than read.
    const DWORD count = buffers->BufferCount;
    if (count > kMaxBufferEntries) return VKSERROR_INVALID_ARGUMENT;
    // The device is told one length for the whole region: a sum that does not
    // fit in 32 bits would name a shorter region than the planes fill, so it
    // is refused rather than wrapped.
    ULONGLONG total = 0;
    for (DWORD k = 0; k < count; ++k) total += buffers->Buffers[k].Length;
    if (total > 0xFFFFFFFFull) return VKSERROR_INVALID_ARGUMENT;

    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(hVKS, &object);
    if (result != VKSERROR_NO_ERROR) return result;

    DWORD first = 0, second = 0;
    FormatWords(pSample, pSample->Kind == 1, &first, &second);
    const void* data = buffers->Buffers[0].pData;
    if (data == nullptr) {
        result = VKSERROR_ILLEGAL_CALL;
    } else {
        CommandRequest request = kRequestTemplate;
        CommandReply reply = kReplyTemplate;
        WriteU32(request.Bytes, kInputFormat1, first);
        WriteU32(request.Bytes, kInputFormat2, second);
        WriteU32(request.Bytes, kInputTotalLength, static_cast<DWORD>(total));
        WriteU64(request.Bytes, kInputData, PointerValue(data));
        result = HandleIoctlSync(object, IOCTL_VKS_SUPPLY_RAW_DATA, request.Bytes, reply.Bytes);
    }
    if (result != VKSERROR_NO_ERROR) LogError(WSTR(" VKSSupplyRawData failed %d\n"), result);
    UnlockHandle(hVKS, object);
    return result;
}

VKSERROR VKSAPI VKSEncoderDeviceChainOutputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample) {
    if (pSample == nullptr || pSample->pBuffers == nullptr) return VKSERROR_INVALID_ARGUMENT;
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(hVKS, &object);
    if (result != VKSERROR_NO_ERROR) return result;

    const VKSMEDIABUFFERS* buffers = pSample->pBuffers;
    const VKSMEDIABUFFER& entry = buffers->Buffers[0];
    DWORD first = 0, second = 0;
    FormatWords(pSample, pSample->Kind == 1 || pSample->Kind == 2, &first, &second);
    // The device writes the encoded bytes through entry 0: an empty entry, or
    // one with a length but nowhere to put it, is not handed over.
    if (entry.Length == 0 || entry.pData == nullptr) {
        UnlockHandle(hVKS, object);
        return VKSERROR_ILLEGAL_CALL;
    }

    CommandRequest request = kRequestTemplate;
    BYTE* r = request.Bytes;
    WriteU32(r, kOutputFormat1, first);
    WriteU32(r, kOutputFormat2, second);
    WriteU32(r, kOutputLength, entry.Length);
    WriteU32(r, kOutputKind, pSample->Kind);
    WriteU32(r, kOutputSampleWord, pSample->SampleWord);
    WriteU32(r, kOutputLayout, pSample->Layout);
    WriteU32(r, kOutputBufferWord, entry.BufferWord);
    WriteU32(r, kOutputLengthAgain, entry.Length);
    WriteU64(r, kOutputData, PointerValue(entry.pData));
    WriteU64(r, kOutputDataAgain, PointerValue(entry.pData));
    WriteU64(r, kOutputUserData, PointerValue(pSample));
    if (pSample->Layout == 2) {
        WriteU64(r, kOutputThirdPlane, buffers->Planes.ThirdPlaneValues[0]);
        WriteU64(r, kOutputSecondPlane, buffers->Planes.SecondPlaneValues[0]);
        WriteU64(r, kOutputFirstPlane, buffers->Planes.FirstPlaneValues[0]);
    }

    // Written whatever the log level: it ties a sample to the driver's trace.
    WCHAR line[kUserDataLineUnits];
    if (_snwprintf_s(line, kUserDataLineUnits, _TRUNCATE, WSTR("Setting PUserData into driver of value %p\n"),
                     static_cast<void*>(pSample)) >= 0) {
        OutputDebugStringW(line);
    }

    // Recorded before the request goes: its completion may only name a sample
    // found in this list (it cannot be dispatched before the lock is released).
    if (!OutputSampleAdd(object, pSample)) {
        UnlockHandle(hVKS, object);
        return VKSERROR_INSUFFICIENT_MEMORY;
    }
    result = HandleIoctlOverlapped(object, IOCTL_VKS_ENCODER_OUTPUT_SAMPLE, r);
    if (result == VKSERROR_NO_ERROR) {
        InterlockedIncrement(&object->OutstandingOutputSamples);
    } else {
        OutputSampleTake(object, PointerValue(pSample));
    }
    UnlockHandle(hVKS, object);
    return result;
}

}  // extern "C"
