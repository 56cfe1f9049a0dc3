// The one header the library, the stand-ins and the tools include for the
// operating system. On Windows it is the Windows API itself; on Linux it is
// our own implementation of the subset of that API the product uses, with the
// same names, types, return conventions and last-error values.
#pragma once

#include "vksacc_abi.h"

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <dbt.h>
#  include <winioctl.h>
#  include <setupapi.h>
#  include <shlwapi.h>
// The audio headers' class and interface GUIDs are defined (as selectany
// data, so once per module whatever the number of files) where declared.
#  include <initguid.h>
#  include <objbase.h>
#  include <mmdeviceapi.h>
#  include <audioclient.h>
#  include <mmreg.h>
#  include <avrt.h>
#  if defined(__MINGW32__)
// mingw-w64 declares the wave subformat GUIDs without defining them (with
// MSVC they are __uuidof expressions and need no data).
EXTERN_C const GUID DECLSPEC_SELECTANY KSDATAFORMAT_SUBTYPE_PCM = {STATIC_KSDATAFORMAT_SUBTYPE_PCM};
EXTERN_C const GUID DECLSPEC_SELECTANY KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {STATIC_KSDATAFORMAT_SUBTYPE_IEEE_FLOAT};
#  endif
#  include <stdio.h>
#  include <wchar.h>
#  include <stdlib.h>
// Wide string literal in the platform's UTF-16 unit type.
#  define WSTR(s) L##s
// A module's DllMain is found by the system on Windows.
#  define VKS_DLL_ENTRY(fn)
// Device calls go through the user-mode driver host (platform/windows): the
// system's own calls unless a simulated driver is configured.
#  include "vks_host.h"
#else
#  include "vks_win32/types.h"
#  include "vks_win32/kernel.h"
#  include "vks_win32/registry.h"
#  include "vks_win32/strings.h"
#  include "vks_win32/module.h"
#  include "vks_win32/window.h"
#  include "vks_win32/device.h"
#  include "vks_win32/shell.h"
#  include "vks_win32/com.h"
#  include "vks_win32/audio.h"
#  include "vks_win32/process.h"
#  define WSTR(s) u##s
#endif
