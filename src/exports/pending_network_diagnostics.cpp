/*
 * Placeholder definitions of the exports whose families have not landed yet,
 * so that the library links with its full export table. Each one returns
 * VKSERROR_UNSUPPORTED (AudioHelperProcessMain returns E_NOTIMPL). They are
 * staged: when a family lands, its group below is deleted and the real
 * definitions take over. 
 */
#include "vksacc.h"

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
