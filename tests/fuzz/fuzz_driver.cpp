#include "fuzz_driver.h"

#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/driver.h"
#include "vkssim/protocol.h"

#include <mutex>

#include "fuzz_input.h"

namespace fuzzdriver {
namespace {

std::mutex g_lock;
FuzzInput g_replies(nullptr, 0);

constexpr uint32_t kStatuses[] = {VKSERROR_NO_ERROR,         VKSERROR_NO_COMPLETION, VKSERROR_FW_SHUTDOWN,
                                  VKSERROR_END_OF_STREAM,    VKSERROR_DECODED_FIRST_FRAME,
                                  VKSERROR_AUDIO_EXISTS,     VKSERROR_DISCOVERY_DATA, VKSERROR_IGNORE_ERROR,
                                  0x01340400u,               0x01341401u};
constexpr DWORD kErrors[] = {0, 0, 0, 0, 0, 0, 31, 995, 1167, 87, 6, 0x20000000};

DWORD Create(void*, LPCWSTR, BOOL overlapped, void** fileContext) {
    *fileContext = new bool(overlapped != FALSE);  // whether the file is overlapped
    return 0;
}

void Close(void* fileContext) { delete static_cast<bool*>(fileContext); }

void PutWord(uint8_t* out, DWORD length, uint32_t offset, uint32_t value) {
    if (offset + 4 <= length) std::memcpy(out + offset, &value, 4);
}

void DeviceControl(void* fileContext, VKS_IRP* irp) {
    DWORD inputLength = 0, outputLength = 0;
    VksIrpInput(irp, &inputLength);
    auto* out = static_cast<uint8_t*>(VksIrpOutput(irp, &outputLength));
    std::unique_lock<std::mutex> lock(g_lock);
    if (g_replies.Empty()) {
        // Spent: the echo as a success, and an event request that ends.
        lock.unlock();
        if (*static_cast<bool*>(fileContext)) PutWord(out, outputLength, VKSSIM_REPLY_STATUS, VKSERROR_NO_COMPLETION);
        VksCompleteRequest(irp, 0, outputLength);
        return;
    }
    // The system buffer holds the request: the reply starts as its echo.
    const uint8_t writes = g_replies.Byte() % 8;
    for (uint8_t i = 0; i < writes; ++i) {
        const uint8_t kind = g_replies.Byte();
        const uint32_t offset = kind < 96 ? VKSSIM_REPLY_STATUS
                                : kind < 160 ? 4 * g_replies.Below(8)
                                             : g_replies.Below(outputLength + 1);
        const uint32_t value = kind < 96 ? kStatuses[g_replies.Byte() % (sizeof kStatuses / sizeof kStatuses[0])]
                                         : g_replies.Edgy32();
        PutWord(out, outputLength, offset, value);
    }
    const DWORD error = kErrors[g_replies.Byte() % (sizeof kErrors / sizeof kErrors[0])];
    const uint8_t shape = g_replies.Byte();
    const DWORD bytes = shape < 192 ? outputLength : std::min<DWORD>(outputLength, g_replies.Edgy32());
    lock.unlock();
    VksCompleteRequest(irp, error, bytes);
}

const VKS_DRIVER_DISPATCH kDispatch = {Create, DeviceControl, Close};

}  // namespace

void Install() {
    static const GUID kClass = VKSSIM_INTERFACE_CLASS_INIT;
    VksRegisterDeviceInterface(&kClass, u"\\\\?\\fuzz#dev#0", u"Fuzz slot 0", &kDispatch, nullptr);
    VksRegisterDeviceInterface(&kClass, u"\\\\?\\fuzz#dev#1", u"Fuzz slot 1", &kDispatch, nullptr);
}

void SetReplies(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_replies = FuzzInput(data, size);
}

}  // namespace fuzzdriver
