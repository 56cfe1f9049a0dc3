// The network stream's parameter accessors.
#include "driver/command_channel.h"
#include "driver/param_commands.h"
#include "driver/param_specs.h"

#include <cstddef>

// clang-format off
//                        export                                   table entry               selector
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCaching,              kGetNetworkCaching,       kParamCurrent)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingDefault,       kGetNetworkCaching,       kParamDefault)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingMaximum,       kGetNetworkCaching,       kParamMaximum)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingMinimum,       kGetNetworkCaching,       kParamMinimum)
VKS_PARAM_SET_1_UNUSED(   VKSNetworkStreamSetCaching,              kSetNetworkCaching)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingLimit,         kGetNetworkCachingLimit,  kParamCurrent)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingLimitDefault,  kGetNetworkCachingLimit,  kParamDefault)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingLimitMaximum,  kGetNetworkCachingLimit,  kParamMaximum)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetCachingLimitMinimum,  kGetNetworkCachingLimit,  kParamMinimum)
VKS_PARAM_SET_1_UNUSED(   VKSNetworkStreamSetCachingLimit,         kSetNetworkCachingLimit)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetJitter,               kGetNetworkJitter,        kParamCurrent)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetJitterDefault,        kGetNetworkJitter,        kParamDefault)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetJitterMaximum,        kGetNetworkJitter,        kParamMaximum)
VKS_PARAM_GET_1_UNUSED(   VKSNetworkStreamGetJitterMinimum,        kGetNetworkJitter,        kParamMinimum)
VKS_PARAM_SET_1_UNUSED(   VKSNetworkStreamSetJitter,               kSetNetworkJitter)
VKS_PARAM_GET_1(          VKSNetworkStreamGetTransport,            kGetNetworkTransport,     kParamCurrent)
VKS_PARAM_SET_1(          VKSNetworkStreamSetTransport,            kSetNetworkTransport)
VKS_PARAM_GET_1(          VKSNetworkStreamGetProgramId,            kGetNetworkProgramId,     kParamCurrent)
VKS_PARAM_SET_1(          VKSNetworkStreamSetProgramId,            kSetNetworkProgramId)
// clang-format on

// Ends of the seek record's fields: a record whose size stops short of a field
// its flags name is refused rather than read past.
constexpr uint32_t kSeekHeaderEnd = offsetof(NetworkSeekParams, SeekTime);
constexpr uint32_t kSeekTimeEnd = offsetof(NetworkSeekParams, SeekTime) + sizeof(double);
constexpr uint32_t kSeekPositionEnd = offsetof(NetworkSeekParams, SeekPosition) + sizeof(uint64_t);
static_assert(kSeekHeaderEnd == 8 && kSeekTimeEnd == 16 && kSeekPositionEnd == 24, "seek record layout");

extern "C" VKSERROR VKSAPI VKSNetworkSetSeeking(HVKS hVKS, const NetworkSeekParams* pParams) {
    if (pParams == nullptr || pParams->Size < kSeekHeaderEnd) return VKSERROR_INVALID_ARGUMENT;
    if (((pParams->Flags & VKS_SEEK_TIME_VALID) && pParams->Size < kSeekTimeEnd) ||
        ((pParams->Flags & VKS_SEEK_POSITION_VALID) && pParams->Size < kSeekPositionEnd)) {
        return VKSERROR_INVALID_ARGUMENT;
    }
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        ParamBlockBuffer block;
        const DWORD flags = ComposeSeek(*pParams, block.Bytes);
        if (flags == 0) return VKSERROR_INVALID_ARGUMENT;
        return VKSSetParameterK(object, kParamCurrent, flags, block.Bytes);
    });
}
