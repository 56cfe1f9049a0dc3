// The notification thread: a hidden top-level window that receives display
// changes and custom device events.
#include "driver/notification_thread.h"

#include "core/engine.h"
#include "core/log.h"
#include "discovery/onvif_events.h"
#include "driver/device_tables.h"
#include "driver/worker_dispatch.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/user_handle.h"

#include <vector>

namespace {

// {5C0E9F41-7B2D-4A66-9E13-D4A8B2C7E590}
const GUID kCustomEventGuid = {0x5C0E9F41, 0x7B2D, 0x4A66, {0x9E, 0x13, 0xD4, 0xA8, 0xB2, 0xC7, 0xE5, 0x90}};
const WCHAR kWindowClass[] = WSTR("NotificationWindowClass");

// Every open network stream and discovery session hears that the display
// configuration changed as an end of stream. The handle values are copied
// under the list mutex and the callbacks run outside it.
void DisplayChangeHandler() {
    std::vector<DWORD> handles(16);
    size_t count;
    while ((count = CopyHandleList(handles.data(), handles.size())) > handles.size()) handles.resize(count);
    for (size_t i = 0; i < count; ++i) {
        UserHandle* object = nullptr;
        if (LockHandleAs(handles[i], &object) != 0) continue;
        void* function = object->pErrorFn;
        void* context = object->pErrorContext;
        UnlockHandle(handles[i], object);
        VKSErrorFn(VKSDEVICETYPE_NETWORK, handles[i], function, context, 0, nullptr, VKSERROR_END_OF_STREAM);
    }
}

void DeviceChangeHandler(WPARAM kind, LPARAM data) {
    if (kind != DBT_CUSTOMEVENT || data == 0) return;
    const auto* record = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
    if (record->dbch_devicetype != DBT_DEVTYP_HANDLE || record->dbch_eventguid != kCustomEventGuid) return;
    const DWORD headerBytes = offsetof(DEV_BROADCAST_HANDLE, dbch_data);
    const DWORD payloadBytes = record->dbch_size > headerBytes ? record->dbch_size - headerBytes : 0;
    LogOnvifDeviceRecord(record->dbch_data, payloadBytes);
}

LRESULT CALLBACK NotificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 1;
        case WM_CLOSE:
            DestroyWindow(window);
            return 1;
        case WM_DISPLAYCHANGE:
            DisplayChangeHandler();
            return 1;
        case WM_DEVICECHANGE:
            DeviceChangeHandler(wParam, lParam);
            return 1;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

DWORD WINAPI NotificationThread(LPVOID) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = NotificationWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);

    HWND window = CreateWindowExW(0, kWindowClass, WSTR(""), 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        UnregisterClassW(kWindowClass, instance);
        return 0;
    }
    __atomic_store_n(&Global.hNotificationWindow, static_cast<void*>(window), __ATOMIC_RELEASE);

    for (DeviceInfo* device = Global.NetworkPorts.pHead; device != nullptr; device = device->pNext) {
        DEV_BROADCAST_HANDLE filter{};
        filter.dbch_size = sizeof(filter);
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = device->hDevice;
        filter.dbch_eventguid = kCustomEventGuid;
        filter.dbch_nameoffset = 0;
        RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    __atomic_store_n(&Global.hNotificationWindow, static_cast<void*>(nullptr), __ATOMIC_RELEASE);
    UnregisterClassW(kWindowClass, instance);
    return 0;
}

}  // namespace

void StartNotificationThread() {
    HANDLE thread = CreateThread(nullptr, 0, NotificationThread, nullptr, 0, nullptr);
    if (thread == nullptr) return;
    Global.hNotificationThread = thread;
    // Wait in 1 ms steps until the window exists or the thread has given up.
    while (__atomic_load_n(&Global.hNotificationWindow, __ATOMIC_ACQUIRE) == nullptr) {
        if (WaitForSingleObject(thread, 1) == WAIT_OBJECT_0) break;
    }
}

bool OnNotificationThread() {
    HANDLE thread = Global.hNotificationThread;
    return thread != nullptr && GetThreadId(thread) == GetCurrentThreadId();
}

void StopNotificationThread() {
    HWND window = static_cast<HWND>(__atomic_load_n(&Global.hNotificationWindow, __ATOMIC_ACQUIRE));
    if (Global.hNotificationThread == nullptr) return;
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    // A thread whose window was never made has ended already.
    WaitForSingleObject(Global.hNotificationThread, INFINITE);
    CloseHandle(Global.hNotificationThread);
    Global.hNotificationThread = nullptr;
}
