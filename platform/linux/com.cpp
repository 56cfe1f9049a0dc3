// COM as the audio code uses it: per-thread apartments with their counts,
// CoCreateInstance of the multimedia device enumerator, GUIDs and their
// text, task memory, and the C runtime's wcstombs for UTF-16 text.
#include "audio_internal.h"

#include <errno.h>
#include <sys/random.h>

#include <cstdlib>
#include <cstring>

namespace vks::audio {
namespace {

std::atomic<DWORD> g_comThreads{0};

struct Apartment {
    DWORD count = 0;      // initialisations not yet undone
    DWORD model = 0;      // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
};
thread_local Apartment t_apartment;

}  // namespace

DWORD ComThreadCount() noexcept { return g_comThreads.load(); }
bool ComInitializedOnThisThread() noexcept { return t_apartment.count > 0; }

}  // namespace vks::audio

using namespace vks::audio;

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved) return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    Apartment& a = t_apartment;
    if (a.count > 0) {
        if (a.model != model) return RPC_E_CHANGED_MODE;
        ++a.count;
        return S_FALSE;
    }
    a.model = model;
    a.count = 1;
    g_comThreads.fetch_add(1);
    return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize(void) {
    Apartment& a = t_apartment;
    if (a.count == 0) return;
    if (--a.count == 0) g_comThreads.fetch_sub(1);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!ComInitializedOnThisThread()) return CO_E_NOTINITIALIZED;
    if (rclsid != CLSID_MMDeviceEnumerator) return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    return CreateDeviceEnumerator(riid, ppv);
}

HRESULT WINAPI CoCreateGuid(GUID* pguid) {
    if (!pguid) return E_INVALIDARG;
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
        }
        got += static_cast<size_t>(n);
    }
    std::memcpy(pguid, bytes, sizeof(GUID));
    // Version 4 (random) in Data3's high nibble, the RFC 4122 variant in Data4[0].
    pguid->Data3 = static_cast<uint16_t>((pguid->Data3 & 0x0FFF) | 0x4000);
    pguid->Data4[0] = static_cast<uint8_t>((pguid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    constexpr int kChars = 39;
    if (!lpsz || cchMax < kChars) return 0;
    char text[kChars + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(rguid.Data1), rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                  rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6], rguid.Data4[7]);
    for (int i = 0; i < kChars; ++i) lpsz[i] = static_cast<WCHAR>(text[i]);
    return kChars;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }
LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb ? cb : 1); }
void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"

size_t wcstombs(char* mbstr, const WCHAR* wcstr, size_t count) {
    if (!wcstr) {
        errno = EINVAL;
        return static_cast<size_t>(-1);
    }
    size_t i = 0;
    for (;; ++i) {
        const WCHAR c = wcstr[i];
        if (c > 0xFF) {
            errno = EILSEQ;
            return static_cast<size_t>(-1);
        }
        if (c == 0) {
            if (mbstr && i < count) mbstr[i] = '\0';
            return i;
        }
        if (mbstr) {
            if (i >= count) return i;
            mbstr[i] = static_cast<char>(c);
        }
    }
}
