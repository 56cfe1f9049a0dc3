/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. Groups are in the order of vksacc.h.
 */
#include "vksacc.h"

// Device counts and information


VKSERROR VKSAPI VKSNetworkPortGetInfoA(uint32_t /*PortIndex*/, VKSINFOA* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkPortGetInfoW(uint32_t /*PortIndex*/, VKSINFOW* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}


VKSERROR VKSAPI VKSDecoderGetInfoA(uint32_t /*DecoderIndex*/, VKSINFOA* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderGetInfoW(uint32_t /*DecoderIndex*/, VKSINFOW* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}


VKSERROR VKSAPI VKSEncoderGetInfoA(uint32_t /*EncoderIndex*/, VKSINFOA* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetInfoW(uint32_t /*EncoderIndex*/, VKSINFOW* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}


VKSERROR VKSAPI VKSDiscoGetInfoA(uint32_t /*DiscoIndex*/, VKSINFOA* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDiscoGetInfoW(uint32_t /*DiscoIndex*/, VKSINFOW* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Decoder parameters

VKSERROR VKSAPI VKSDecoderDeviceGetCropping(HVKS /*hVKS*/, uint32_t* /*pA*/, uint32_t* /*pB*/, uint32_t* /*pC*/, uint32_t* /*pD*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetCroppingDefault(HVKS /*hVKS*/, uint32_t* /*pA*/, uint32_t* /*pB*/, uint32_t* /*pC*/, uint32_t* /*pD*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMaximum(HVKS /*hVKS*/, uint32_t* /*pA*/, uint32_t* /*pB*/, uint32_t* /*pC*/, uint32_t* /*pD*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMinimum(HVKS /*hVKS*/, uint32_t* /*pA*/, uint32_t* /*pB*/, uint32_t* /*pC*/, uint32_t* /*pD*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetCropping(HVKS /*hVKS*/, uint32_t /*A*/, uint32_t /*B*/, uint32_t /*C*/, uint32_t /*D*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceIsCroppingEnabled(HVKS /*hVKS*/, uint32_t* /*pEnabled*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceEnableCropping(HVKS /*hVKS*/, uint32_t /*Enable*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetDeInterlace(HVKS /*hVKS*/, uint32_t* /*pMode*/, uint32_t* /*pSecond*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetDeInterlace(HVKS /*hVKS*/, uint32_t /*Mode*/, uint32_t /*Second*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetHDCPHeader(HVKS /*hVKS*/, uint32_t* /*pHeader*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetRates(HVKS /*hVKS*/, uint32_t* /*pP*/, uint32_t* /*pQ*/, uint32_t* /*pR*/, uint32_t* /*pS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetRenderRate(HVKS /*hVKS*/, uint32_t* /*pRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetResolution(HVKS /*hVKS*/, uint32_t* /*pWidth*/, uint32_t* /*pHeight*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetSyncMode(HVKS /*hVKS*/, uint32_t* /*pMode*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetSyncMode(HVKS /*hVKS*/, uint32_t /*Mode*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetAudioDelay(HVKS /*hVKS*/, uint32_t /*Delay*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetAudioVolume(HVKS /*hVKS*/, uint32_t /*Volume*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetScaling(HVKS /*hVKS*/, uint32_t /*Value1*/, uint32_t /*Value2*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetRateManagementControl(HVKS /*hVKS*/, uint32_t /*Control*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Encoder parameters

VKSERROR VKSAPI VKSEncoderGetFrameRate(HVKS /*hVKS*/, uint32_t* /*pRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetFrameRateDefault(HVKS /*hVKS*/, uint32_t* /*pRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetFrameRateMaximum(HVKS /*hVKS*/, uint32_t* /*pRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetFrameRateMinimum(HVKS /*hVKS*/, uint32_t* /*pRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetFrameRate(HVKS /*hVKS*/, uint32_t /*Rate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceGetRates(HVKS /*hVKS*/, uint32_t* /*pP*/, uint32_t* /*pQ*/, uint32_t* /*pR*/, uint32_t* /*pS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetBitRate(HVKS /*hVKS*/, uint32_t* /*pBitRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetBitRateDefault(HVKS /*hVKS*/, uint32_t* /*pBitRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetBitRateMaximum(HVKS /*hVKS*/, uint32_t* /*pBitRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetBitRateMinimum(HVKS /*hVKS*/, uint32_t* /*pBitRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetBitRate(HVKS /*hVKS*/, uint32_t /*BitRate*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetProfile(HVKS /*hVKS*/, uint32_t* /*pProfile*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetProfileDefault(HVKS /*hVKS*/, uint32_t* /*pProfile*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetProfile(HVKS /*hVKS*/, uint32_t /*Profile*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderIsProfileSupported(HVKS /*hVKS*/, uint32_t /*Profile*/, uint32_t* /*pSupported*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetLevel(HVKS /*hVKS*/, uint32_t* /*pLevel*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetLevelDefault(HVKS /*hVKS*/, uint32_t* /*pLevel*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetLevel(HVKS /*hVKS*/, uint32_t /*Level*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderIsLevelSupported(HVKS /*hVKS*/, uint32_t /*Level*/, uint32_t* /*pSupported*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetKeyFrameInterval(HVKS /*hVKS*/, uint32_t* /*pInterval*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalDefault(HVKS /*hVKS*/, uint32_t* /*pInterval*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalMaximum(HVKS /*hVKS*/, uint32_t* /*pInterval*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalMinimum(HVKS /*hVKS*/, uint32_t* /*pInterval*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetKeyFrameInterval(HVKS /*hVKS*/, uint32_t /*Interval*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetResolution(HVKS /*hVKS*/, uint32_t /*Width*/, uint32_t /*Height*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetCodec(HVKS /*hVKS*/, uint32_t /*Codec*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetEncryptionType(HVKS /*hVKS*/, uint32_t /*EncryptionType*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetHDCPHeader(HVKS /*hVKS*/, const uint32_t* /*pHeader*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetAudioInputChannel(HVKS /*hVKS*/, uint32_t /*Channel*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetAudioParam(HVKS /*hVKS*/, const EncoderAudioParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetRtspParams(HVKS /*hVKS*/, uint32_t /*Value*/, const char* /*pszText*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderSetUdpMulticast(HVKS /*hVKS*/, uint32_t /*Value*/, const char* /*pszText*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Network stream parameters

VKSERROR VKSAPI VKSNetworkStreamGetCaching(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pCaching*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingDefault(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pCaching*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingMaximum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pCaching*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingMinimum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pCaching*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetCaching(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t /*Caching*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingLimit(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pLimit*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitDefault(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pLimit*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitMaximum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pLimit*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitMinimum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pLimit*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetCachingLimit(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t /*Limit*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetJitter(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pJitter*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetJitterDefault(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pJitter*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetJitterMaximum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pJitter*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetJitterMinimum(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t* /*pJitter*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetJitter(HVKS /*hVKS*/, uint32_t /*Reserved*/, uint32_t /*Jitter*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetTransport(HVKS /*hVKS*/, uint32_t* /*pTransport*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetTransport(HVKS /*hVKS*/, uint32_t /*Transport*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetProgramId(HVKS /*hVKS*/, uint32_t* /*pProgramId*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetProgramId(HVKS /*hVKS*/, uint32_t /*ProgramId*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkSetSeeking(HVKS /*hVKS*/, const NetworkSeekParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Decoder

VKSERROR VKSAPI VKSDecoderDeviceOpenEx(uint32_t /*DecoderIndex*/, uint32_t /*OpenFlags*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, const NetworkStreamOpenParams* /*pParams*/, VKSGUID* /*pSessionGuid*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceOpen(uint32_t /*DecoderIndex*/, uint32_t /*OpenFlags*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, NetworkStreamOpenParamsV1* /*pParams*/, VKSGUID* /*pSessionGuid*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceClose(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetState(HVKS /*hVKS*/, uint32_t* /*pState*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetState(HVKS /*hSource*/, uint32_t /*ConnectArg*/, HVKS /*hDecoder*/, uint32_t /*State*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetErrorFn(void* /*pReserved*/, uint32_t /*Reserved*/, HVKS /*hVKS*/, VKSDECODERERRORFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetOutputMediaSampleReturnFn(HVKS /*hVKS*/, VKSDECODERMEDIASAMPLERETURNFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetInputMediaSampleReturnFn(HVKS /*hVKS*/, VKSDECODERMEDIASAMPLERETURNFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceChainInputMediaSample(HVKS /*hVKS*/, VKSMEDIASAMPLE* /*pSample*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceChainOutputMediaSample(HVKS /*hVKS*/, VKSMEDIASAMPLE* /*pSample*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetProcessId(HVKS /*hVKS*/, uint32_t* /*pProcessId*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Decoder window and no-signal text

VKSERROR VKSAPI VKSDecoderDeviceSetWindow(void* /*pReserved0*/, uint32_t /*Reserved1*/, HVKS /*hVKS*/, VKSHWND /*hWnd*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextA(HVKS /*hVKS*/, void* /*pArg1*/, void* /*pArg2*/, void* /*pArg3*/, void* /*pArg4*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextW(HVKS /*hVKS*/, void* /*pArg1*/, void* /*pArg2*/, void* /*pArg3*/, void* /*pArg4*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextA(HVKS /*hVKS*/, uint32_t /*Arg1*/, uint32_t /*Arg2*/, const char* /*pszText*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextW(HVKS /*hVKS*/, uint32_t /*Arg1*/, uint32_t /*Arg2*/, const VKSWCHAR* /*pszText*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Decoder content protection

VKSERROR VKSAPI VKSDecoderDeviceSetPSKEncryptionData(HVKS /*hVKS*/, const uint8_t* /*pData*/, uint8_t /*Length*/, uint32_t /*Datatype*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetEncryptionKeys(HVKS /*hVKS*/, const VKSENCRYPTIONKEYS* /*pKeys*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Decoder audio

VKSERROR VKSAPI VKSDecoderDeviceSetAudioDecodeEnabled(uint32_t /*bEnabled*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceGetAudioSessionId(HVKS /*hVKS*/, char* /*pszSessionId*/)
{
    return VKSERROR_UNSUPPORTED;
}

uint32_t VKSAPI AudioHelperProcessMain(const VKSGUID* /*pSessionGuid*/, VKSHANDLE /*hStartedEvent*/, VKSHANDLE /*hStopEvent*/)
{
    return 0x80004001u /* E_NOTIMPL */;
}

// Encoder

VKSERROR VKSAPI VKSEncoderDeviceOpen(uint32_t /*EncoderIndex*/, uint32_t /*OpenOption*/, HVKS* /*phVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceClose(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceGetState(HVKS /*hVKS*/, uint32_t* /*pState*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetState(HVKS /*hVKS*/, uint32_t /*State*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetErrorFn(HVKS /*hVKS*/, VKSENCODERERRORFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetEncryptionKeysFn(HVKS /*hVKS*/, VKSENCRYPTIONKEYSFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetOutputMediaSampleReturnFn(HVKS /*hVKS*/, VKSENCODERMEDIASAMPLERETURNFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceSetInputMediaSampleReturnFn(HVKS /*hVKS*/, VKSENCODERMEDIASAMPLERETURNFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceFlushMediaSamples(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceChainInputMediaSample(HVKS /*hVKS*/, VKSMEDIASAMPLE* /*pSample*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDeviceChainOutputMediaSample(HVKS /*hVKS*/, VKSMEDIASAMPLE* /*pSample*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Encoder capture-card interface

VKSERROR VKSAPI VKSEncoderOpenRmv204Interface(HVKS /*hVKS*/, const Rmv204InterfaceParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderCloseRmv204Interface(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderPauseRmv204Interface(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderUnpauseRmv204Interface(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderPausePushFrames(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Network streams

VKSERROR VKSAPI VKSNetworkStreamOpenExA(uint32_t /*PortIndex*/, const char* /*pszAddress*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, const NetworkStreamOpenParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamOpenExW(uint32_t /*PortIndex*/, const VKSWCHAR* /*pszAddress*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, const NetworkStreamOpenParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamOpenA(uint32_t /*PortIndex*/, const char* /*pszAddress*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, const NetworkStreamOpenParamsV1* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamOpenW(uint32_t /*PortIndex*/, const VKSWCHAR* /*pszAddress*/, uint32_t /*Reserved*/, HVKS* /*phVKS*/, const NetworkStreamOpenParamsV1* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamClose(HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetState(HVKS /*hVKS*/, uint32_t* /*pState*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetState(HVKS /*hVKS*/, uint32_t /*State*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetErrorFn(HVKS /*hVKS*/, uint32_t /*Reserved*/, VKSNETWORKERRORFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetMediaSampleReturnFn(HVKS /*hVKS*/, VKSNETWORKMEDIASAMPLERETURNFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamChainOutputMediaSample(HVKS /*hVKS*/, VKSMEDIASAMPLE* /*pSample*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetInfo(HVKS /*hVKS*/, void* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetMediaStreamInfo(HVKS /*hVKS*/, uint32_t /*MediaStreamIndex*/, void* /*pInfo*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetNumIfcs(HVKS /*hVKS*/, uint32_t* /*pCount*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetDiagnostics(uint32_t /*DecoderIndex*/, VKSNETWORKDIAGNOSTICS* /*pDiagnostics*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetIPConfig(uint32_t /*DecoderIndex*/, VKSIPCONFIG* /*pConfig*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamSetIPConfig(uint32_t /*DecoderIndex*/, const VKSIPCONFIG* /*pConfig*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetMacAddresses(uint32_t /*DecoderIndex*/, VKSMACADDRESSES* /*pAddresses*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetNumClients(uint32_t /*DecoderIndex*/, uint32_t* /*pCount*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetFileSize(uint32_t /*DecoderIndex*/, uint32_t* /*pSize*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamGetLogFilesW(uint32_t /*DecoderIndex*/, const VKSWCHAR* /*pszPath*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamStartDebugLogA(uint32_t /*DecoderIndex*/, uint32_t /*Option1*/, uint32_t /*Option2*/, const char* /*pszText1*/, const char* /*pszText2*/, uint32_t /*Option3*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Network diagnostics

VKSERROR VKSAPI VKSNetworkPingIPAddressA(uint32_t /*DecoderIndex*/, uint8_t /*NetIfc*/, const char* /*pszDestination*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkPingIPAddressW(uint32_t /*DecoderIndex*/, uint8_t /*NetIfc*/, const VKSWCHAR* /*pszDestination*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkTraceRoute(uint32_t /*DecoderIndex*/, uint8_t /*NetIfc*/, const char* /*pszDestination*/, VKSTRACEROUTERESULTS* /*pResults*/, uint32_t /*ReportCount*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkPortTestAddressA(uint32_t /*PortIndex*/, const char* /*pszAddress*/, uint32_t /*Option*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkPortTestAddressW(uint32_t /*PortIndex*/, const VKSWCHAR* /*pszAddress*/, uint32_t /*Option*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkConfiguredInterfaceCount(uint32_t* /*pCount*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkConfiguredInterfaceInfo(uint32_t /*PortIndex*/, VKSINTERFACEADDRESS* /*pEntries*/, uint32_t* /*pCount*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Discovery

VKSERROR VKSAPI VKSDiscoInit(uint32_t /*DecoderIndex*/, HVKS* /*phVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDiscoverySetCallbackFn(HVKS /*hVKS*/, VKSDISCOVERYFN /*pFn*/, void* /*pContext*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDiscoStart(uint64_t /*Reserved*/, HVKS /*hVKS*/, uint64_t /*StartParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDiscoStop(uint64_t /*Reserved*/, HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDiscoUninit(uint64_t /*Reserved*/, HVKS /*hVKS*/)
{
    return VKSERROR_UNSUPPORTED;
}

// Device health

VKSERROR VKSAPI VKSDecoderGetCurrentLoad(uint32_t /*DecoderIndex*/, uint32_t* /*pLoad*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderGetCurrentLoad(uint32_t /*EncoderIndex*/, uint32_t* /*pLoad*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderPredictNewLoad(uint32_t /*DecoderIndex*/, const char* /*pszAddress*/, uint32_t* /*pLoad*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderPredictNewLoad(uint32_t /*EncoderIndex*/, uint64_t /*Reserved*/, uint32_t* /*pLoad*/, const EncoderLoadParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderIncrementLoad(uint32_t /*EncoderIndex*/, const EncoderLoadParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSEncoderDecrementLoad(uint32_t /*EncoderIndex*/, const EncoderLoadParams* /*pParams*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderGetCoreLoad(uint32_t /*DecoderIndex*/, VKSCORELOAD* /*pCoreLoad*/, uint32_t* /*pLoadWord*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderGetTemperature(uint32_t /*DecoderIndex*/, uint32_t* /*pTemperature*/, VKSTEMPERATUREDETAIL* /*pDetail*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSGetCryptoContents(uint32_t /*DecoderIndex*/, VKSCRYPTOCONTENTS* /*pContents*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSGetHardwareCounters(uint32_t /*DecoderIndex*/, VKSHARDWARECOUNTERS* /*pCounters*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSGetMemoryUsageDiags(uint32_t /*DecoderIndex*/, VKSMEMORYUSAGEDIAGS* /*pUsage*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderTestForceLockup(uint32_t /*DecoderIndex*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderTestStopUpgradeReboot(uint32_t /*DecoderIndex*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderTestMemUsage(uint32_t /*DecoderIndex*/)
{
    return VKSERROR_UNSUPPORTED;
}
