#include "driver/param_commands.h"

#include "core/log.h"
#include "core/status_codes.h"
#include "driver/command_channel.h"
#include "objects/user_handle.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes that a block may occupy after the command fields.
constexpr DWORD kRequestBlockRoom = kRequestBytes - kParamReqBlock;
constexpr DWORD kReplyBlockRoom = kReplyBytes - kParamRepBlock;
static_assert(kLargestParamBlockBytes <= kRequestBlockRoom && kLargestParamBlockBytes <= kReplyBlockRoom);

void LogFailure(const char* routine, const UserHandle* object, DWORD selector, DWORD flags, VKSERROR status) {
    LogTrace(WSTR("%hs: HVKSHandle(%#x) selector(%u) flags(%#x) failed: %#x %hs\n"), routine,
             object != nullptr ? object->HVKSHandle : 0u, selector, flags, status, VKSErrorToString(status));
}

}  // namespace

void BuildGetParameterRequest(BYTE* request, DWORD selector, DWORD flags, DWORD capacity) {
    WriteU32(request, kParamReqSelector, selector);
    WriteU32(request, kParamReqFlags, flags);
    WriteU32(request, kParamReqCapacity, capacity);
}

DWORD CopyGetParameterReply(const BYTE* reply, void* block) {
    BYTE* out = static_cast<BYTE*>(block);
    const DWORD count = std::min({ReadU32(out, 0), ReadU32(reply, kParamRepBlock), kReplyBlockRoom});
    std::memcpy(out, reply + kParamRepBlock, count);
    WriteU32(out, 0, count);
    return count;
}

VKSERROR BuildSetParameterRequest(BYTE* request, DWORD selector, DWORD flags, const void* block) {
    const DWORD bytes = ReadU32(static_cast<const BYTE*>(block), 0);
    if (bytes > kRequestBlockRoom) return VKSERROR_INVALID_ARGUMENT;
    WriteU32(request, kParamReqSelector, selector);
    WriteU32(request, kParamReqFlags, flags);
    std::memcpy(request + kParamReqBlock, block, bytes);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSGetParameterK(const UserHandle* object, DWORD selector, DWORD flags, void* block) {
    if (block == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    BuildGetParameterRequest(request.Bytes, selector, flags, ReadU32(static_cast<BYTE*>(block), 0));
    const VKSERROR status = HandleIoctlSync(object, IOCTL_VKS_GET_PARAMS, request.Bytes, reply.Bytes);
    if (status != VKSERROR_NO_ERROR) {
        LogFailure("VKSGetParameterK", object, selector, flags, status);
        return status;
    }
    CopyGetParameterReply(reply.Bytes, block);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSSetParameterK(const UserHandle* object, DWORD selector, DWORD flags, const void* block) {
    if (block == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    VKSERROR status = BuildSetParameterRequest(request.Bytes, selector, flags, block);
    if (status == VKSERROR_NO_ERROR) status = HandleIoctlSync(object, IOCTL_VKS_SET_PARAMS, request.Bytes, reply.Bytes);
    // A refused test is an answer, not a failure.
    if (status != VKSERROR_NO_ERROR && !(selector == kParamTest && status == VKSERROR_UNSUPPORTED)) {
        LogFailure("VKSSetParameterK", object, selector, flags, status);
    }
    return status;
}
