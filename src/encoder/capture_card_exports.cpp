// The capture-card interface of an encoder: five synchronous commands on the
// encoder's open object. The connection's state lives in the device; the
// library only carries the commands and passes the device's status back.
#include "core/engine.h"
#include "driver/command_channel.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"

#include <cstring>

namespace {

enum : DWORD {
    IOCTL_VKS_CAPTURE_OPEN = 0x22C4B8,
    IOCTL_VKS_CAPTURE_CLOSE = 0x22C4BC,
    IOCTL_VKS_CAPTURE_PAUSE = 0x22C4C0,
    IOCTL_VKS_CAPTURE_UNPAUSE = 0x22C4C4,
    IOCTL_VKS_CAPTURE_PAUSE_PUSH_FRAMES = 0x22C4DC,
};
static_assert(VksIoctl(0x12E) == IOCTL_VKS_CAPTURE_OPEN && VksIoctl(0x137) == IOCTL_VKS_CAPTURE_PAUSE_PUSH_FRAMES,
              "capture-card command codes");

// The interface record travels as a 56-byte copy at request offset 24.
constexpr DWORD kRecordOffset = 24;
constexpr DWORD kRecordBytes = sizeof(Rmv204InterfaceParams);
static_assert(kRecordBytes == 56, "the interface record is 56 bytes");
static_assert(kRecordOffset + kRecordBytes == 80, "the record fills request bytes 24 to 79");

// Sends one command on the encoder's device file with the handle locked.
VKSERROR SendCaptureCommand(HVKS handle, DWORD code, const Rmv204InterfaceParams* record) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(handle, &object);
    if (result != VKSERROR_NO_ERROR) return result;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    if (record != nullptr) {
        // Only the fields the device reads are copied; the others stay zero,
        // and the size word is always the record's full size.
        Rmv204InterfaceParams sent;
        std::memset(&sent, 0, sizeof(sent));
        sent.Size = kRecordBytes;
        sent.InterfaceWord1 = record->InterfaceWord1;
        sent.InterfaceWord2 = record->InterfaceWord2;
        std::memcpy(sent.Identification, record->Identification, sizeof(sent.Identification));
        std::memcpy(request.Bytes + kRecordOffset, &sent, kRecordBytes);
    }
    result = HandleIoctlSync(object, code, request.Bytes, reply.Bytes);
    UnlockHandle(handle, object);
    return result;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSEncoderOpenRmv204Interface(HVKS hVKS, const Rmv204InterfaceParams* pParams) {
    if (pParams == nullptr) return VKSERROR_INVALID_ARGUMENT;
    if (pParams->Size == 0) return VKSERROR_BUFFER_TOO_SMALL;
    return SendCaptureCommand(hVKS, IOCTL_VKS_CAPTURE_OPEN, pParams);
}

VKSERROR VKSAPI VKSEncoderCloseRmv204Interface(HVKS hVKS) {
    return SendCaptureCommand(hVKS, IOCTL_VKS_CAPTURE_CLOSE, nullptr);
}

VKSERROR VKSAPI VKSEncoderPauseRmv204Interface(HVKS hVKS) {
    return SendCaptureCommand(hVKS, IOCTL_VKS_CAPTURE_PAUSE, nullptr);
}

VKSERROR VKSAPI VKSEncoderUnpauseRmv204Interface(HVKS hVKS) {
    return SendCaptureCommand(hVKS, IOCTL_VKS_CAPTURE_UNPAUSE, nullptr);
}

VKSERROR VKSAPI VKSEncoderPausePushFrames(HVKS hVKS) {
    return SendCaptureCommand(hVKS, IOCTL_VKS_CAPTURE_PAUSE_PUSH_FRAMES, nullptr);
}

}  // extern "C"
