// Windows: the user-mode driver host's entry points. Every module of the
// project includes this through vks_platform.h, which makes the device calls
// below go to the host (vksplatform.dll): for files of a simulated driver the
// host acts as the system does for a real driver's files; for everything else
// each function is the system's own call, unchanged. The host's own sources
// define VKS_PLATFORM_BUILD and call the system directly.
#pragma once

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#if defined(VKS_PLATFORM_BUILD)
#  define VKS_HOST_API __declspec(dllexport)
#else
#  define VKS_HOST_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

VKS_HOST_API HANDLE WINAPI VksHostCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                              DWORD disposition, DWORD flags, HANDLE templateFile);
VKS_HOST_API BOOL WINAPI VksHostDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                                                DWORD outLength, LPDWORD returned, LPOVERLAPPED ov);
VKS_HOST_API BOOL WINAPI VksHostCancelIo(HANDLE file);
VKS_HOST_API BOOL WINAPI VksHostCancelIoEx(HANDLE file, LPOVERLAPPED ov);
VKS_HOST_API BOOL WINAPI VksHostGetOverlappedResult(HANDLE file, LPOVERLAPPED ov, LPDWORD bytes, BOOL wait);
VKS_HOST_API BOOL WINAPI VksHostCloseHandle(HANDLE handle);
VKS_HOST_API HANDLE WINAPI VksHostCreateIoCompletionPort(HANDLE file, HANDLE port, ULONG_PTR key, DWORD threads);
VKS_HOST_API HDEVNOTIFY WINAPI VksHostRegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags);
VKS_HOST_API BOOL WINAPI VksHostUnregisterDeviceNotification(HDEVNOTIFY notification);
VKS_HOST_API HDEVINFO WINAPI VksHostSetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                                         DWORD flags);
VKS_HOST_API BOOL WINAPI VksHostSetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                            const GUID* classGuid, DWORD index,
                                                            PSP_DEVICE_INTERFACE_DATA data);
VKS_HOST_API BOOL WINAPI VksHostSetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                                 DWORD detailSize, PDWORD required,
                                                                 PSP_DEVINFO_DATA device);
VKS_HOST_API BOOL WINAPI VksHostSetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                                                  DWORD property, PDWORD type, PBYTE buffer,
                                                                  DWORD size, PDWORD required);
VKS_HOST_API BOOL WINAPI VksHostSetupDiDestroyDeviceInfoList(HDEVINFO set);

#ifdef __cplusplus
}
#endif

#if !defined(VKS_PLATFORM_BUILD)
#  define CreateFileW VksHostCreateFileW
#  define DeviceIoControl VksHostDeviceIoControl
#  define CancelIo VksHostCancelIo
#  define CancelIoEx VksHostCancelIoEx
#  define GetOverlappedResult VksHostGetOverlappedResult
#  define CloseHandle VksHostCloseHandle
#  define CreateIoCompletionPort VksHostCreateIoCompletionPort
#  define RegisterDeviceNotificationW VksHostRegisterDeviceNotificationW
#  define UnregisterDeviceNotification VksHostUnregisterDeviceNotification
#  define SetupDiGetClassDevsW VksHostSetupDiGetClassDevsW
#  define SetupDiEnumDeviceInterfaces VksHostSetupDiEnumDeviceInterfaces
#  define SetupDiGetDeviceInterfaceDetailW VksHostSetupDiGetDeviceInterfaceDetailW
#  define SetupDiGetDeviceRegistryPropertyW VksHostSetupDiGetDeviceRegistryPropertyW
#  define SetupDiDestroyDeviceInfoList VksHostSetupDiDestroyDeviceInfoList
#endif
