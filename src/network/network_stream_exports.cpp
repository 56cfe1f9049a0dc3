// Network streams: open on a network port, close, state and error function.
#include "core/engine.h"
#include "core/status_codes.h"
#include "driver/device_tables.h"
#include "objects/device_objects.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/user_handle.h"

#include <cstdlib>
#include <cstring>

namespace {

// The older parameter record in the new form.
NetworkStreamOpenParams Upgrade(const NetworkStreamOpenParamsV1* old) {
    NetworkStreamOpenParams params;
    std::memset(&params, 0, sizeof(params));
    if (old == nullptr) return params;
    params.Reserved0 = old->Reserved0;
    params.Reserved1 = old->Reserved1;
    params.Reserved2 = old->Reserved2;
    params.TransportSelector = old->bTransport != 0 ? 5 : 1;
    std::memcpy(params.StreamOptions, old->StreamOptions, sizeof(params.StreamOptions));
    return params;
}

// The 8-bit open with the code page its address is in: the ANSI code page
// from the 8-bit exports, UTF-8 from the wide ones. Local file names in the
// address are read in that code page.
VKSERROR OpenStream(uint32_t PortIndex, const char* pszAddress, UINT codePage, HVKS* phVKS,
                    const NetworkStreamOpenParams* pParams) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_NETWORK, PortIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    const VKSERROR status =
        DeviceOpen(PortIndex, device, VKSDEVICETYPE_NETWORK, pszAddress, 0, phVKS,
                   pParams != nullptr ? pParams->TransportSelector : 0,
                   pParams != nullptr ? pParams->StreamOptions : nullptr, nullptr, codePage);
    if (status == VKSERROR_NO_ERROR) AddHandleToList(*phVKS);
    return status;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSNetworkStreamOpenExA(uint32_t PortIndex, const char* pszAddress, uint32_t, HVKS* phVKS,
                                        const NetworkStreamOpenParams* pParams) {
    return OpenStream(PortIndex, pszAddress, CP_ACP, phVKS, pParams);
}

VKSERROR VKSAPI VKSNetworkStreamOpenExW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t, HVKS* phVKS,
                                        const NetworkStreamOpenParams* pParams) {
    char* address = WideToUtf8Alloc(reinterpret_cast<const WCHAR*>(pszAddress));
    if (address == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSERROR status = OpenStream(PortIndex, address, CP_UTF8, phVKS, pParams);
    std::free(address);
    return status;
}

VKSERROR VKSAPI VKSNetworkStreamOpenA(uint32_t PortIndex, const char* pszAddress, uint32_t Reserved, HVKS* phVKS,
                                      const NetworkStreamOpenParamsV1* pParams) {
    const NetworkStreamOpenParams params = Upgrade(pParams);
    return VKSNetworkStreamOpenExA(PortIndex, pszAddress, Reserved, phVKS, pParams != nullptr ? &params : nullptr);
}

VKSERROR VKSAPI VKSNetworkStreamOpenW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t Reserved, HVKS* phVKS,
                                      const NetworkStreamOpenParamsV1* pParams) {
    const NetworkStreamOpenParams params = Upgrade(pParams);
    return VKSNetworkStreamOpenExW(PortIndex, pszAddress, Reserved, phVKS, pParams != nullptr ? &params : nullptr);
}

VKSERROR VKSAPI VKSNetworkStreamClose(HVKS hVKS) {
    const VKSERROR status = DeviceClose(hVKS);
    RemoveHandleFromList(hVKS);
    return status;
}

VKSERROR VKSAPI VKSNetworkStreamGetState(HVKS hVKS, uint32_t* pState) { return DeviceGetState(hVKS, pState); }

VKSERROR VKSAPI VKSNetworkStreamSetState(HVKS hVKS, uint32_t State) { return DeviceSetState(hVKS, State); }

VKSERROR VKSAPI VKSNetworkStreamSetErrorFn(HVKS hVKS, uint32_t, VKSNETWORKERRORFN pFn, void* pContext) {
    UserHandle* object = nullptr;
    const VKSERROR status = LockHandleAs(hVKS, &object);
    if (status != VKSERROR_NO_ERROR) return status;
    VKSERROR result = VKSERROR_NO_ERROR;
    if (object->Type == VKSDEVICETYPE_NETWORK) {
        object->pErrorFn = reinterpret_cast<void*>(pFn);
        object->pErrorContext = pContext;
    } else {
        result = VKSERROR_INVALID_HANDLE;
    }
    UnlockHandle(hVKS, object);
    return result;
}

VKSERROR VKSAPI VKSNetworkStreamSetMediaSampleReturnFn(HVKS, VKSNETWORKMEDIASAMPLERETURNFN, void*) {
    return VKSERROR_UNSUPPORTED;
}

VKSERROR VKSAPI VKSNetworkStreamChainOutputMediaSample(HVKS, VKSMEDIASAMPLE*) { return VKSERROR_UNSUPPORTED; }

}  // extern "C"
