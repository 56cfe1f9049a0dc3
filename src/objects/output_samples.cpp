#include "objects/output_samples.h"

#include "core/log.h"
#include "driver/event_actions.h"
#include "objects/user_handle.h"

#include <cstdlib>

bool OutputSampleAdd(UserHandle* object, VKSMEDIASAMPLE* sample) {
    if (object->OutputSampleCount == object->OutputSampleCapacity) {
        const DWORD capacity = object->OutputSampleCapacity == 0 ? 8 : object->OutputSampleCapacity * 2;
        void* grown = std::realloc(object->pOutputSamples, capacity * sizeof(VKSMEDIASAMPLE*));
        if (grown == nullptr) return false;
        object->pOutputSamples = static_cast<VKSMEDIASAMPLE**>(grown);
        object->OutputSampleCapacity = capacity;
    }
    object->pOutputSamples[object->OutputSampleCount++] = sample;
    return true;
}

VKSMEDIASAMPLE* OutputSampleTake(UserHandle* object, ULONGLONG address) {
    for (DWORD i = 0; i < object->OutputSampleCount; ++i) {
        VKSMEDIASAMPLE* sample = object->pOutputSamples[i];
        if (static_cast<ULONGLONG>(reinterpret_cast<ULONG_PTR>(sample)) != address) continue;
        object->pOutputSamples[i] = object->pOutputSamples[--object->OutputSampleCount];
        return sample;
    }
    return nullptr;
}

void OutputSamplesFree(UserHandle* object) {
    std::free(object->pOutputSamples);
    object->pOutputSamples = nullptr;
    object->OutputSampleCount = 0;
    object->OutputSampleCapacity = 0;
}

VKSERROR CompleteDecoderOutputSample(UserHandle* object, const BYTE* reply, VKSERROR status, VKSMEDIASAMPLE** sample) {
    constexpr DWORD kReplySampleEcho = 216;  // u64, the sample's address sent with the request
    InterlockedDecrement(&object->OutstandingOutputSamples);
    // The echoed address is the device's word: the application is only ever
    // handed back a sample it gave and has not had back.
    const ULONGLONG echoed = ReadU64(reply, kReplySampleEcho);
    *sample = echoed == 0 ? nullptr : OutputSampleTake(object, echoed);
    if (*sample != nullptr || status != VKSERROR_NO_ERROR) return status;
    if (echoed != 0) LogError(WSTR("WorkerThread: output sample %#llx is not one of the application's\n"), echoed);
    return VKSERROR_UNEXPECTED;
}
