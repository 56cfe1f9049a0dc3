/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
