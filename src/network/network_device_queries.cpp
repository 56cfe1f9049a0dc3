// Device-wide network queries and settings addressed by a decoder input:
// IP configuration, MAC addresses, number of clients, file size, log files
// and the debug log. Each call uses a device file of its own.
#include "core/engine.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "network/network_device_command.h"

#include <cstring>

static_assert(sizeof(VKSMACADDRESSES) == 12, "two 6-byte MAC addresses");

namespace {

// Reply word of the count and size queries.
constexpr DWORD kReplyValueWord = 32;
// Log files request: the destination path, terminator included.
constexpr DWORD kLogFilesPath = kPayload;
constexpr size_t kLogFilesPathUnits = 260;
// Debug log request fields.
constexpr DWORD kDebugOption1 = 24, kDebugOption2 = 28, kDebugText1 = 32, kDebugText2 = 160, kDebugOption3 = 288;
constexpr size_t kDebugTextBytes = 128;

// The engine check and the decoder index lookup that every export here
// starts with; null result with the status in `status`.
const DeviceInfo* ResolveDecoder(uint32_t decoderIndex, VKSERROR* status) {
    *status = EngineStatus();
    if (*status != VKSERROR_NO_ERROR) return nullptr;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, decoderIndex);
    *status = device != nullptr ? VKSERROR_NO_ERROR : VKSERROR_INVALID_INPUT;
    return device;
}

// Sends a query whose reply carries `bytes` at `replyOffset` and copies them
// out on success only.
VKSERROR QueryDevice(uint32_t decoderIndex, DWORD code, DWORD replyOffset, void* out, size_t bytes) {
    VKSERROR status;
    const DeviceInfo* device = ResolveDecoder(decoderIndex, &status);
    if (device == nullptr) return status;
    if (out == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    status = NetworkDeviceCommand(device, code, &request, &reply);
    if (status == VKSERROR_NO_ERROR) std::memcpy(out, reply.Bytes + replyOffset, bytes);
    return status;
}

// Copies an 8-bit text with its terminator into a fixed field; false when it
// does not fit.
bool PutText(BYTE* field, size_t fieldBytes, const char* text) {
    const size_t length = strnlen(text, fieldBytes);
    if (length >= fieldBytes) return false;
    std::memcpy(field, text, length + 1);
    return true;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSNetworkStreamGetIPConfig(uint32_t DecoderIndex, VKSIPCONFIG* pConfig) {
    return QueryDevice(DecoderIndex, IOCTL_VKS_NETWORK_GET_IP_CONFIG, kPayload, pConfig, sizeof(VKSIPCONFIG));
}

VKSERROR VKSAPI VKSNetworkStreamSetIPConfig(uint32_t DecoderIndex, const VKSIPCONFIG* pConfig) {
    VKSERROR status;
    const DeviceInfo* device = ResolveDecoder(DecoderIndex, &status);
    if (device == nullptr) return status;
    if (pConfig == nullptr) return VKSERROR_INVALID_ARGUMENT;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    std::memcpy(request.Bytes + kPayload, pConfig, sizeof(VKSIPCONFIG));
    return NetworkDeviceCommand(device, IOCTL_VKS_NETWORK_SET_IP_CONFIG, &request, &reply);
}

VKSERROR VKSAPI VKSNetworkStreamGetMacAddresses(uint32_t DecoderIndex, VKSMACADDRESSES* pAddresses) {
    return QueryDevice(DecoderIndex, IOCTL_VKS_NETWORK_GET_MAC_ADDRESSES, kPayload, pAddresses,
                       sizeof(VKSMACADDRESSES));
}

VKSERROR VKSAPI VKSNetworkStreamGetNumClients(uint32_t DecoderIndex, uint32_t* pCount) {
    return QueryDevice(DecoderIndex, IOCTL_VKS_NETWORK_GET_NUM_CLIENTS, kReplyValueWord, pCount, sizeof(uint32_t));
}

VKSERROR VKSAPI VKSNetworkStreamGetFileSize(uint32_t DecoderIndex, uint32_t* pSize) {
    return QueryDevice(DecoderIndex, IOCTL_VKS_NETWORK_GET_FILE_SIZE, kReplyValueWord, pSize, sizeof(uint32_t));
}

VKSERROR VKSAPI VKSNetworkStreamGetLogFilesW(uint32_t DecoderIndex, const VKSWCHAR* pszPath) {
    VKSERROR status;
    const DeviceInfo* device = ResolveDecoder(DecoderIndex, &status);
    if (device == nullptr) return status;
    if (pszPath == nullptr) return VKSERROR_INVALID_ARGUMENT;
    size_t units = 0;
    while (units < kLogFilesPathUnits && pszPath[units] != 0) ++units;
    if (units >= kLogFilesPathUnits) return VKSERROR_INVALID_ARGUMENT;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    std::memcpy(request.Bytes + kLogFilesPath, pszPath, (units + 1) * sizeof(VKSWCHAR));
    return NetworkDeviceCommand(device, IOCTL_VKS_NETWORK_GET_LOG_FILES, &request, &reply);
}

VKSERROR VKSAPI VKSNetworkStreamStartDebugLogA(uint32_t DecoderIndex, uint32_t Option1, uint32_t Option2,
                                               const char* pszText1, const char* pszText2, uint32_t Option3) {
    VKSERROR status;
    const DeviceInfo* device = ResolveDecoder(DecoderIndex, &status);
    if (device == nullptr) return status;
    if (pszText1 == nullptr || pszText2 == nullptr) return VKSERROR_INVALID_ARGUMENT;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    // A text that does not fit its field is refused rather than cut, so that
    // the device never logs under a name other than the one asked for.
    if (!PutText(request.Bytes + kDebugText1, kDebugTextBytes, pszText1) ||
        !PutText(request.Bytes + kDebugText2, kDebugTextBytes, pszText2)) {
        return VKSERROR_INVALID_ARGUMENT;
    }
    WriteU32(request.Bytes, kDebugOption1, Option1);
    WriteU32(request.Bytes, kDebugOption2, Option2);
    WriteU32(request.Bytes, kDebugOption3, Option3);
    return NetworkDeviceCommand(device, IOCTL_VKS_NETWORK_START_DEBUG_LOG, &request, &reply);
}

}  // extern "C"
