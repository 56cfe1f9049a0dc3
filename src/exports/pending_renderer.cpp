/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
