// The part of COM the audio code uses: per-thread initialisation, creation of
// the multimedia device enumerator, GUID creation and text form, task memory
// and IUnknown. Names, values and return conventions are those of Windows.
#pragma once

#include "types.h"

#include <cstdlib>

#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
typedef uint32_t UINT32;
typedef uint64_t UINT64;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef GUID* LPGUID;
typedef const GUID* LPCGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;

// --- HRESULTs -------------------------------------------------------------------------
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define MAKE_HRESULT(sev, fac, code) \
    ((HRESULT)(((unsigned long)(sev) << 31) | ((unsigned long)(fac) << 16) | ((unsigned long)(code))))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)
#define E_PENDING ((HRESULT)0x8000000AL)
#define E_HANDLE ((HRESULT)0x80070006L)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)

// --- Class contexts and apartments ------------------------------------------------------
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

// --- GUIDs -------------------------------------------------------------------------------
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// --- IUnknown ------------------------------------------------------------------------------
// Interfaces are abstract classes without a virtual destructor, so that their
// virtual tables hold exactly the Windows methods in the Windows order.
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

extern "C" {
// Per-thread COM initialisation with the Windows counting: the first call of
// a thread gives S_OK, later calls in the same apartment model S_FALSE (and
// must be balanced by CoUninitialize as well), a call asking for the other
// model RPC_E_CHANGED_MODE (not counted).
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void WINAPI CoUninitialize(void);
// Only CLSID_MMDeviceEnumerator is registered (REGDB_E_CLASSNOTREG for any
// other class). The calling thread must have initialised COM
// (CO_E_NOTINITIALIZED otherwise).
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// A random (version 4) GUID.
HRESULT WINAPI CoCreateGuid(GUID* pguid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case: returns 39 (the
// characters with the terminator), or 0 when cchMax is below 39.
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void WINAPI CoTaskMemFree(LPVOID pv);
}

// The C runtime's wcstombs for UTF-16 text, with the runtime's default "C"
// locale: every unit below 256 becomes that byte; a unit of 256 or more makes
// the call fail with (size_t)-1 and errno EILSEQ. With a null destination it
// gives the length the conversion needs; otherwise it writes at most `count`
// bytes and a terminator only when there is room for it. It is a C++
// overload beside the C library's wchar_t form, as wcslen is.
size_t wcstombs(char* mbstr, const WCHAR* wcstr, size_t count);
