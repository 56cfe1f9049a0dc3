#include "driver/worker_dispatch.h"

#include "core/log.h"
#include "core/status_codes.h"
#include "driver/event_actions.h"
#include "objects/handle_table.h"
#include "objects/output_samples.h"
#include "objects/user_handle.h"

namespace {

// The one DiscoParms handed to a discovery callback for a plain status.
DiscoParms EmptyDiscoParms() {
    DiscoParms parms;
    std::memset(&parms, 0, sizeof(parms));
    parms.Size = sizeof(DiscoParms);
    return parms;
}

void CallSampleReturn(DWORD type, DWORD hvks, void* function, void* context, DWORD value, VKSMEDIASAMPLE* sample) {
    switch (type) {
        case VKSDEVICETYPE_NETWORK:
            reinterpret_cast<VKSNETWORKMEDIASAMPLERETURNFN>(function)(hvks, value, sample, context);
            break;
        case VKSDEVICETYPE_DECODER:
            reinterpret_cast<VKSDECODERMEDIASAMPLERETURNFN>(function)(nullptr, 0, hvks, sample, context);
            break;
        case VKSDEVICETYPE_ENCODER:
            reinterpret_cast<VKSENCODERMEDIASAMPLERETURNFN>(function)(hvks, sample, context);
            break;
        default:
            break;
    }
}

bool EndsCallbacks(VKSERROR status) {
    switch (status) {
        case VKSERROR_NO_COMPLETION:
        case VKSERROR_FW_SHUTDOWN:
        case VKSERROR_NEED_DATA:
        case VKSERROR_SEEK_DATA:
        case VKSERROR_ENC_NOTIFY_ENCR_KEY:
        case VKSERROR_DISCOVERED_DEVICES:
            return true;
        default:
            return false;
    }
}

// A callback that runs while the worker holds the object's lock (a discovery
// delivery, an encoder's encryption-keys request) may close its own object
// through the re-entrant lock; the record is then released and must not be
// touched again.
bool StillOpenAfterCallback(DWORD hvks, UserHandle* object) {
    void* relocked = nullptr;
    if (RelockHandle(hvks, object, &relocked) != 0) return false;
    UnlockHandle(hvks, relocked);
    return true;
}

}  // namespace

void VKSErrorFn(DWORD type, DWORD hvks, void* function, void* context, DWORD value, VKSMEDIASAMPLE* sample,
                VKSERROR status) {
    if (function == nullptr) {
        LogWarning(WSTR("VKSErrorFn: hVKS:%#x - No Error Function Configured"), hvks);
        return;
    }
    switch (type) {
        case VKSDEVICETYPE_NETWORK:
            reinterpret_cast<VKSNETWORKERRORFN>(function)(hvks, value, sample, status, context);
            break;
        case VKSDEVICETYPE_DECODER:
            reinterpret_cast<VKSDECODERERRORFN>(function)(nullptr, 0, hvks, sample, status, context);
            break;
        case VKSDEVICETYPE_ENCODER:
            reinterpret_cast<VKSENCODERERRORFN>(function)(hvks, sample, status, context);
            break;
        case VKSDEVICETYPE_DISCOVERY: {
            DiscoParms parms = EmptyDiscoParms();
            reinterpret_cast<VKSDISCOVERYFN>(function)(hvks, &parms, context, status);
            break;
        }
        default:
            break;
    }
}

VKSERROR RequestEvent(const UserHandle* object) {
    CommandRequest request = kRequestTemplate;
    return HandleIoctlOverlapped(object, IOCTL_VKS_EVENT, request.Bytes);
}

void WorkerDispatch(DWORD hvks, OVIOCTL* block) {
    VKSERROR status = ReadU32(block->Reply, kRepStatus);
    LogTrace(WSTR("WorkerThread: hVKS:%#x POVIOCTL:%p Code:%#X VKSError:%hs(%08X)\n"), hvks, block, block->Code,
             VKSErrorToString(status), status);

    UserHandle* object = nullptr;
    const DWORD locked = LockHandleAs(hvks, &object);
    if (locked != 0) {
        LogWarning(WSTR("WorkerThread: LockHandle( hVKS=%p, &pUserHandle=%p ) Failed with result %#x\n"),
                   reinterpret_cast<void*>(static_cast<ULONG_PTR>(hvks)), &object, locked);
        FreeOvIoctl(block);
        return;
    }

    const DWORD type = object->Type;
    void* sampleReturnFn = object->pOutputSampleReturnFn;
    void* sampleReturnContext = object->pOutputSampleReturnContext;
    const DWORD value = ReadU32(block->Reply, kRepValue);
    VKSMEDIASAMPLE* sample = nullptr;

    switch (block->Code) {
        case IOCTL_VKS_ENCODER_OUTPUT_SAMPLE:
            status = CompleteEncoderOutputSample(object, block->Reply, status, &sample);
            break;
        case IOCTL_VKS_DECODER_OUTPUT_SAMPLE:
            status = CompleteDecoderOutputSample(object, block->Reply, status, &sample);
            break;
        case IOCTL_VKS_EVENT:
            LogError(WSTR("WorkerThread: hVKS:%#x POVIOCTL:%p Received %hs (%#08x)\n"), hvks, block,
                     VKSErrorToString(status), status);
            ActOnEvent(hvks, object, status, block->Reply);
            if ((status == VKSERROR_DISCOVERED_DEVICES || status == VKSERROR_ENC_NOTIFY_ENCR_KEY) &&
                !StillOpenAfterCallback(hvks, object)) {
                FreeOvIoctl(block);
                return;
            }
            if (status != VKSERROR_NO_COMPLETION && status != VKSERROR_FW_SHUTDOWN) RequestEvent(object);
            break;
        default:
            status = VKSERROR_UNEXPECTED;
            break;
    }

    if (status == VKSERROR_NO_ERROR) {
        FreeOvIoctl(block);
        UnlockHandle(hvks, object);
        if (sampleReturnFn != nullptr) {
            CallSampleReturn(type, hvks, sampleReturnFn, sampleReturnContext, value, sample);
        }
        return;
    }
    if (EndsCallbacks(status)) {
        UnlockHandle(hvks, object);
        FreeOvIoctl(block);
        return;
    }
    void* errorFn = type == VKSDEVICETYPE_DISCOVERY ? object->pDiscoveryFn : object->pErrorFn;
    void* errorContext = type == VKSDEVICETYPE_DISCOVERY ? object->pDiscoveryArg : object->pErrorContext;
    FreeOvIoctl(block);
    UnlockHandle(hvks, object);
    VKSErrorFn(type, hvks, errorFn, errorContext, value, sample, status);
}
