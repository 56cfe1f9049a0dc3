// The encoder's part in the worker's completion handling: output samples
// coming back from the device, and the device's request for encryption keys.
#include "encoder/encoder_events.h"

#include "core/log.h"
#include "driver/event_actions.h"
#include "objects/output_samples.h"
#include "objects/user_handle.h"

namespace {

// Reply fields of a completed output sample.
constexpr DWORD kReplyCompletionValue1 = 24;  // u64
constexpr DWORD kReplyCompletionValue2 = 32;  // u64
constexpr DWORD kReplyFilledLength = 40;      // u32
constexpr DWORD kReplyBufferEcho = 48;        // u64, entry 0's data pointer as the device saw it
constexpr DWORD kReplySampleEcho = 56;        // u64, the sample's address sent with the request

}  // namespace

void CallEncryptionKeysFn(DWORD hvks, UserHandle* object, BYTE* payload) {
    if (object->Type != VKSDEVICETYPE_ENCODER) return;
    // Read while the worker holds the object's lock; called under it as well.
    auto function = reinterpret_cast<VKSENCRYPTIONKEYSFN>(object->pEncryptionKeysFn);
    void* context = object->pEncryptionKeysContext;
    if (function == nullptr) return;
    function(nullptr, 0, hvks, 0, payload, context);
}

VKSERROR CompleteEncoderOutputSample(UserHandle* object, const BYTE* reply, VKSERROR status, VKSMEDIASAMPLE** sample) {
    InterlockedDecrement(&object->OutstandingOutputSamples);
    // The echoed address is the device's word: only a sample the application
    // handed over and has not had back is read or written.
    const ULONGLONG echoed = ReadU64(reply, kReplySampleEcho);
    *sample = echoed == 0 ? nullptr : OutputSampleTake(object, echoed);
    if (*sample == nullptr) {
        if (echoed != 0) LogError(WSTR("WorkerThread: output sample %#llx is not one of the application's\n"), echoed);
        return VKSERROR_UNEXPECTED;
    }

    VKSMEDIABUFFERS* buffers = (*sample)->pBuffers;
    // A reply that names another buffer than the sample's own does not belong
    // to this sample: nothing of it is written into the sample.
    if (buffers == nullptr ||
        static_cast<ULONGLONG>(reinterpret_cast<ULONG_PTR>(buffers->Buffers[0].pData)) !=
            ReadU64(reply, kReplyBufferEcho)) {
        return VKSERROR_BUFFER_NOT_VALID;
    }
    buffers->CompletionValue1 = ReadU64(reply, kReplyCompletionValue1);
    buffers->CompletionValue2 = ReadU64(reply, kReplyCompletionValue2);
    // The device cannot have filled more than the buffer holds.
    DWORD filled = ReadU32(reply, kReplyFilledLength);
    if (filled > buffers->Buffers[0].Length) {
        LogError(WSTR("WorkerThread: output sample %p filled length %u beyond its buffer of %u\n"),
                 static_cast<void*>(*sample), filled, buffers->Buffers[0].Length);
        filled = buffers->Buffers[0].Length;
    }
    buffers->Buffers[0].FilledLength = filled;
    return status;
}
