/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
