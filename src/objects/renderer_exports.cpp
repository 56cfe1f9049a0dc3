// Decoder exports that pass through to the renderer input: the window and
// the no-signal text. None checks the object's type: an object without a
// renderer input answers VKSERROR_UNSUPPORTED.
#include "core/log.h"
#include "driver/param_accessors.h"
#include "objects/handle_table.h"
#include "objects/renderer.h"
#include "objects/user_handle.h"

#include <cstdint>

namespace {

// Log texts print these values in 32-bit hexadecimal.
unsigned Low32(const void* value) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)); }

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSDecoderDeviceSetWindow(void* pReserved0, uint32_t, HVKS hVKS, VKSHWND hWnd) {
    LogTrace(WSTR("VKSDecoderDeviceSetWindow  IN, %x, %x, hWnd=%x\n"), Low32(pReserved0), hVKS, Low32(hWnd));
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(hVKS, &object);
    if (result == VKSERROR_NO_ERROR) {
        result = RendererSetWindow(object, hWnd);
        UnlockHandle(hVKS, object);
    }
    LogTrace(WSTR("VKSDecoderDeviceSetWindow OUT, %x, %x, hWnd=%x, error=%x\n"), Low32(pReserved0), hVKS, Low32(hWnd),
             result);
    return result;
}

VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextA(HVKS hVKS, void* pArg1, void* pArg2, void* pArg3, void* pArg4) {
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        return RendererGetNoSignalTextA(object, pArg1, pArg2, pArg3, pArg4);
    });
}

VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextW(HVKS hVKS, void* pArg1, void* pArg2, void* pArg3, void* pArg4) {
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        return RendererGetNoSignalTextW(object, pArg1, pArg2, pArg3, pArg4);
    });
}

VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextA(HVKS hVKS, uint32_t Arg1, uint32_t Arg2, const char* pszText) {
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        return RendererSetNoSignalTextA(object, Arg1, Arg2, pszText);
    });
}

VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextW(HVKS hVKS, uint32_t Arg1, uint32_t Arg2, const VKSWCHAR* pszText) {
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) {
        return RendererSetNoSignalTextW(object, Arg1, Arg2, pszText);
    });
}

}  // extern "C"
