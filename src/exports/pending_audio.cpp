/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
