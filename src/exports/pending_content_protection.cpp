/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

// Decoder content protection

VKSERROR VKSAPI VKSDecoderDeviceSetPSKEncryptionData(HVKS /*hVKS*/, const uint8_t* /*pData*/, uint8_t /*Length*/, uint32_t /*Datatype*/)
{
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSDecoderDeviceSetEncryptionKeys(HVKS /*hVKS*/, const VKSENCRYPTIONKEYS* /*pKeys*/)
{
    return VKSERROR_UNSUPPORTED;
}
