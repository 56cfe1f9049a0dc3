// The encoder's parameter accessors.
#include "driver/command_channel.h"
#include "driver/param_commands.h"
#include "driver/param_specs.h"

// clang-format off
//                 export                                       table entry                   selector
VKS_PARAM_GET_1(   VKSEncoderGetFrameRate,                      kGetEncoderFrameRate,         kParamCurrent)
VKS_PARAM_GET_1(   VKSEncoderGetFrameRateDefault,               kGetEncoderFrameRate,         kParamDefault)
VKS_PARAM_GET_1(   VKSEncoderGetFrameRateMaximum,               kGetEncoderFrameRate,         kParamMaximum)
VKS_PARAM_GET_1(   VKSEncoderGetFrameRateMinimum,               kGetEncoderFrameRate,         kParamMinimum)
VKS_PARAM_SET_1(   VKSEncoderSetFrameRate,                      kSetEncoderFrameRate)
VKS_PARAM_GET_1(   VKSEncoderGetBitRate,                        kGetEncoderBitRate,           kParamCurrent)
VKS_PARAM_GET_1(   VKSEncoderGetBitRateDefault,                 kGetEncoderBitRate,           kParamDefault)
VKS_PARAM_GET_1(   VKSEncoderGetBitRateMaximum,                 kGetEncoderBitRate,           kParamMaximum)
VKS_PARAM_GET_1(   VKSEncoderGetBitRateMinimum,                 kGetEncoderBitRate,           kParamMinimum)
VKS_PARAM_SET_1(   VKSEncoderSetBitRate,                        kSetEncoderBitRate)
VKS_PARAM_GET_1(   VKSEncoderGetProfile,                        kGetEncoderProfile,           kParamCurrent)
VKS_PARAM_GET_1(   VKSEncoderGetProfileDefault,                 kGetEncoderProfile,           kParamDefault)
VKS_PARAM_SET_1(   VKSEncoderSetProfile,                        kSetEncoderProfile)
VKS_PARAM_GET_1(   VKSEncoderGetLevel,                          kGetEncoderLevel,             kParamCurrent)
VKS_PARAM_GET_1(   VKSEncoderGetLevelDefault,                   kGetEncoderLevel,             kParamDefault)
VKS_PARAM_SET_1(   VKSEncoderSetLevel,                          kSetEncoderLevel)
VKS_PARAM_GET_1(   VKSEncoderGetKeyFrameInterval,               kGetEncoderKeyFrameInterval,  kParamCurrent)
VKS_PARAM_GET_1(   VKSEncoderGetKeyFrameIntervalDefault,        kGetEncoderKeyFrameInterval,  kParamDefault)
VKS_PARAM_GET_1(   VKSEncoderGetKeyFrameIntervalMaximum,        kGetEncoderKeyFrameInterval,  kParamMaximum)
VKS_PARAM_GET_1(   VKSEncoderGetKeyFrameIntervalMinimum,        kGetEncoderKeyFrameInterval,  kParamMinimum)
VKS_PARAM_SET_1(   VKSEncoderSetKeyFrameInterval,               kSetEncoderKeyFrameInterval)
VKS_PARAM_SET_1(   VKSEncoderSetCodec,                          kSetEncoderCodec)
VKS_PARAM_SET_1(   VKSEncoderSetEncryptionType,                 kSetEncoderEncryptionType)
VKS_PARAM_SET_1(   VKSEncoderSetAudioInputChannel,              kSetEncoderAudioInputChannel)
// clang-format on

extern "C" VKSERROR VKSAPI VKSEncoderSetResolution(HVKS hVKS, uint32_t Width, uint32_t Height) {
    return SetParamFields<kSetEncoderResolution>(hVKS, Width, Height);
}

extern "C" VKSERROR VKSAPI VKSEncoderDeviceGetRates(HVKS hVKS, uint32_t* pP, uint32_t* pQ, uint32_t* pR, uint32_t* pS) {
    return RunRatesGetter(hVKS, kEncoderRates, kEncoderParamBlockBytes, kEncoderFlagFrameRates, pP, pQ, pR, pS);
}

extern "C" VKSERROR VKSAPI VKSEncoderDeviceSetHDCPHeader(HVKS hVKS, const uint32_t* pHeader) {
    if (pHeader == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return SetParamFields<kSetEncoderHdcpHeader>(hVKS, pHeader[0], pHeader[1]);
}

// The record is read before the handle is locked.
extern "C" VKSERROR VKSAPI VKSEncoderSetAudioParam(HVKS hVKS, const EncoderAudioParams* pParams) {
    if (pParams == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const EncoderAudioParams params = *pParams;
    return SetParamFields<kSetEncoderAudioParams>(hVKS, params.Value1, params.Value2, params.Value3, params.Value4);
}

namespace {

// Offers the value with the test selector: the driver's refusal is an answer.
VKSERROR IsSupported(HVKS hVKS, const ParamSetter& setter, uint32_t value, uint32_t* pSupported) {
    if (pSupported == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const DWORD args[] = {value};
    return SupportAnswer(RunParamSetter(hVKS, setter, kParamTest, args), pSupported);
}

// A value and a text that must fit its field, terminator included; a text that
// does not fit, or none, is refused before the handle is locked.
VKSERROR SetValueAndText(HVKS hVKS, DWORD flags, DWORD valueOffset, DWORD value, DWORD textOffset, DWORD textBytes,
                         const char* text) {
    if (!TextFits(text, textBytes)) return VKSERROR_INVALID_ARGUMENT;
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, kEncoderParamBlockBytes);
        WriteU32(block.Bytes, valueOffset, value);
        WriteParamText(block.Bytes, textOffset, text);
        return VKSSetParameterK(object, kParamCurrent, flags, block.Bytes);
    });
}

}  // namespace

extern "C" VKSERROR VKSAPI VKSEncoderIsProfileSupported(HVKS hVKS, uint32_t Profile, uint32_t* pSupported) {
    return IsSupported(hVKS, kSetEncoderProfile, Profile, pSupported);
}

extern "C" VKSERROR VKSAPI VKSEncoderIsLevelSupported(HVKS hVKS, uint32_t Level, uint32_t* pSupported) {
    return IsSupported(hVKS, kSetEncoderLevel, Level, pSupported);
}

extern "C" VKSERROR VKSAPI VKSEncoderSetRtspParams(HVKS hVKS, uint32_t Value, const char* pszText) {
    return SetValueAndText(hVKS, kEncoderFlagRtsp, offsetof(EncoderParamBlock, RtspValue), Value,
                           offsetof(EncoderParamBlock, RtspText), kRtspTextBytes, pszText);
}

extern "C" VKSERROR VKSAPI VKSEncoderSetUdpMulticast(HVKS hVKS, uint32_t Value, const char* pszText) {
    return SetValueAndText(hVKS, kEncoderFlagUdpMulticast, offsetof(EncoderParamBlock, UdpMulticastValue), Value,
                           offsetof(EncoderParamBlock, UdpMulticastText), kUdpMulticastTextBytes, pszText);
}
