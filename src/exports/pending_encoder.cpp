/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
