/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
