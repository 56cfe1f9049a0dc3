#include "encoder/encoder_events.h"

#include "driver/event_actions.h"
#include "objects/user_handle.h"

void CallEncryptionKeysFn(DWORD hvks, UserHandle* object, BYTE* payload) {}

VKSERROR CompleteEncoderOutputSample(UserHandle* object, const BYTE* reply, VKSERROR status, VKSMEDIASAMPLE** sample) {
    InterlockedDecrement(&object->OutstandingOutputSamples);
    *sample = reinterpret_cast<VKSMEDIASAMPLE*>(static_cast<ULONG_PTR>(ReadU64(reply, 56)));
    return *sample == nullptr ? VKSERROR_UNEXPECTED : status;
}
