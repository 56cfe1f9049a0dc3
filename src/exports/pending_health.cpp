/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
