/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. Groups are in the order of vksacc.h.
 */
#include "vksacc.h"

// Device counts and information













// Decoder












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
