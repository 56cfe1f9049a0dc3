// The decoder's parameter accessors.
#include "driver/command_channel.h"
#include "driver/param_commands.h"
#include "driver/param_specs.h"

// clang-format off
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetCropping(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD)        { return GetParamFields<kGetDecoderCropping>(hVKS, kParamCurrent, pA, pB, pC, pD); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetCroppingDefault(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD) { return GetParamFields<kGetDecoderCropping>(hVKS, kParamDefault, pA, pB, pC, pD); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMaximum(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD) { return GetParamFields<kGetDecoderCropping>(hVKS, kParamMaximum, pA, pB, pC, pD); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMinimum(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD) { return GetParamFields<kGetDecoderCropping>(hVKS, kParamMinimum, pA, pB, pC, pD); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceSetCropping(HVKS hVKS, uint32_t A, uint32_t B, uint32_t C, uint32_t D)                { return SetParamFields<kSetDecoderCropping>(hVKS, A, B, C, D); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetDeInterlace(HVKS hVKS, uint32_t* pMode, uint32_t* pSecond)                          { return GetParamFields<kGetDecoderDeInterlace>(hVKS, kParamCurrent, pMode, pSecond); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetResolution(HVKS hVKS, uint32_t* pWidth, uint32_t* pHeight)                          { return GetParamFields<kGetDecoderResolution>(hVKS, kParamCurrent, pWidth, pHeight); }
extern "C" VKSERROR VKSAPI VKSDecoderDeviceSetScaling(HVKS hVKS, uint32_t Value1, uint32_t Value2)                                { return SetParamFields<kSetDecoderScaling>(hVKS, Value1, Value2); }

//                 export                                       table entry                   selector
VKS_PARAM_GET_1(   VKSDecoderDeviceIsCroppingEnabled,           kGetDecoderCroppingEnabled,   kParamCurrent)
VKS_PARAM_GET_1(   VKSDecoderDeviceGetSyncMode,                 kGetDecoderSyncMode,          kParamCurrent)
VKS_PARAM_SET_1(   VKSDecoderDeviceSetSyncMode,                 kSetDecoderSyncMode)
VKS_PARAM_SET_1(   VKSDecoderDeviceSetAudioDelay,               kSetDecoderAudioDelay)
VKS_PARAM_SET_1(   VKSDecoderDeviceSetAudioVolume,              kSetDecoderAudioVolume)
VKS_PARAM_SET_1(   VKSDecoderDeviceSetRateManagementControl,    kSetDecoderRateManagement)
// clang-format on

extern "C" VKSERROR VKSAPI VKSDecoderDeviceSetDeInterlace(HVKS hVKS, uint32_t Mode, uint32_t Second) {
    if (Mode > 2) return VKSERROR_INVALID_ARGUMENT;
    return SetParamFields<kSetDecoderDeInterlace>(hVKS, Mode, Second);
}

extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetHDCPHeader(HVKS hVKS, uint32_t* pHeader) {
    if (pHeader == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return GetParamFields<kGetDecoderHdcpHeader>(hVKS, kParamCurrent, &pHeader[0], &pHeader[1]);
}

extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetRates(HVKS hVKS, uint32_t* pP, uint32_t* pQ, uint32_t* pR, uint32_t* pS) {
    return RunRatesGetter(hVKS, kDecoderRates, kDecoderParamBlockBytes, kDecoderFlagRates, pP, pQ, pR, pS);
}

extern "C" VKSERROR VKSAPI VKSDecoderDeviceGetRenderRate(HVKS hVKS, uint32_t* pRate) {
    uint32_t p = 0, q = 0, s = 0;
    return VKSDecoderDeviceGetRates(hVKS, &p, &q, pRate, &s);
}

// Reads the picture size first, so that disabling can reset the rectangle to
// the whole picture; both commands run under one lock.
extern "C" VKSERROR VKSAPI VKSDecoderDeviceEnableCropping(HVKS hVKS, uint32_t Enable) {
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
        const VKSERROR status = VKSGetParameterK(object, kParamCurrent, kDecoderFlagResolution, block.Bytes);
        if (status != VKSERROR_NO_ERROR) return status;
        const DWORD flags = ComposeEnableCropping(block.Bytes, Enable);
        return VKSSetParameterK(object, kParamCurrent, flags, block.Bytes);
    });
}
