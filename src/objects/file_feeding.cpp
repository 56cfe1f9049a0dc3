#include "objects/file_feeding.h"

#include "core/log.h"
#include "driver/command_channel.h"
#include "objects/user_handle.h"

#include <cstdlib>

// The supply command is not in the shared code list: only this file sends it.
constexpr DWORD IOCTL_VKS_SUPPLY_ENCODED_DATA = 0x22C478;
static_assert(VksIoctl(0x11E) == IOCTL_VKS_SUPPLY_ENCODED_DATA, "code rule");

VKSERROR VKSSupplyEncodedDataK(const UserHandle* object, const void* block, DWORD bytes) {
    if (block == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU32(request.Bytes, kSupplyByteCount, bytes);
    WriteU64(request.Bytes, kSupplyBlockAddress, reinterpret_cast<ULONG_PTR>(block));
    return HandleIoctlSync(object, IOCTL_VKS_SUPPLY_ENCODED_DATA, request.Bytes, reply.Bytes);
}

void FeedNextBlock(UserHandle* object) {
    // A fresh block per request: it lives only until the driver has copied it.
    BYTE* block = static_cast<BYTE*>(std::malloc(kFeedBlockBytes));
    DWORD read = 0;
    // A stream without a playback file has nothing to read from: that is a
    // failed read like any other, and nothing is sent.
    const HANDLE file = object->hPlaybackFile;
    const bool haveFile = file != nullptr && file != INVALID_HANDLE_VALUE;
    if (block == nullptr || !haveFile || !ReadFile(file, block, kFeedBlockBytes, &read, nullptr)) {
        LogError(WSTR(" SupplyEncodedData failed to ReadFile\n"));
        std::free(block);
        return;
    }
    const VKSERROR status = VKSSupplyEncodedDataK(object, block, read);
    if (status != VKSERROR_NO_ERROR) LogError(WSTR(" VKSSupplyEncodedData failed %d\n"), status);
    std::free(block);
}

void SeekPlaybackFile(UserHandle* object, ULONGLONG position) {
    const HANDLE file = object->hPlaybackFile;
    LARGE_INTEGER distance;
    // Positions beyond the signed range cannot be reached; they fail like any
    // other refused move instead of wrapping to a negative offset.
    distance.QuadPart = static_cast<LONGLONG>(position);
    const bool representable = position <= static_cast<ULONGLONG>(0x7FFFFFFFFFFFFFFFLL);
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (!representable) {
        SetLastError(ERROR_NEGATIVE_SEEK);
    } else if (SetFilePointerEx(file, distance, nullptr, FILE_BEGIN)) {
        return;
    }
    LogTrace(WSTR("SEEK ERROR, %x\n"), GetLastError());
}
