// The driver seam, seen from the application: a driver registered in the
// program lists its interface through the setup API, and its files behave as
// a real driver's: pending requests, completion packets with their status,
// GetOverlappedResult, synchronous requests, failures in dispatch, the close
// reaching the driver, custom events as WM_DEVICECHANGE. On Linux the seam is
// the platform layer's; on Windows it is the user-mode driver host's, so the
// same program checks both.
#include "conformance.h"
#include "vks_win32/driver.h"
#include "vks_win32/window_ext.h"

#include <cstring>
#include <mutex>
#include <thread>

namespace {

const GUID kClass = {0x6c1f0a52, 0x3b7e, 0x4d21, {0x9a, 0x44, 0x18, 0xe2, 0x7c, 0x90, 0x5d, 0x31}};
const GUID kEvent = {0x0d3c6b8e, 0x2f41, 0x4a90, {0xb1, 0x7c, 0x55, 0x0e, 0x92, 0x4d, 0x6a, 0x17}};

// Control codes of the test driver: echo the input at once, hold the request
// until the test completes it, fail at once with the error in the input.
constexpr DWORD kEcho = 0x220004, kHold = 0x220008, kFailNow = 0x22000C;

struct Driver {
    std::mutex mu;
    VKS_IRP* held = nullptr;
    int closes = 0;
} g_driver;

DWORD Create(void*, const char16_t* rest, BOOL, void** file) {
    if (rest[0] != 0) return ERROR_FILE_NOT_FOUND;
    *file = &g_driver;
    return ERROR_SUCCESS;
}

void Control(void*, VKS_IRP* irp) {
    DWORD inLength = 0;
    const void* in = VksIrpInput(irp, &inLength);
    switch (VksIrpControlCode(irp)) {
    case kEcho: VksCompleteRequest(irp, ERROR_SUCCESS, inLength); break;
    case kHold: {
        std::lock_guard lock(g_driver.mu);
        g_driver.held = irp;
        break;
    }
    case kFailNow: {
        DWORD error = ERROR_GEN_FAILURE;
        if (inLength >= sizeof error) std::memcpy(&error, in, sizeof error);
        VksCompleteRequest(irp, error, 0);
        break;
    }
    default: VksCompleteRequest(irp, ERROR_INVALID_FUNCTION, 0);
    }
}

void Close(void*) {
    std::lock_guard lock(g_driver.mu);
    ++g_driver.closes;
}

// Completes the held request from another thread, as a device does.
void CompleteHeld(DWORD error, const char* text) {
    VKS_IRP* irp;
    {
        std::lock_guard lock(g_driver.mu);
        irp = g_driver.held;
        g_driver.held = nullptr;
    }
    if (!irp) return;
    std::thread([irp, error, text] {
        DWORD length = 0;
        void* out = VksIrpOutput(irp, &length);
        const DWORD n = static_cast<DWORD>(std::strlen(text));
        if (n <= length) std::memcpy(out, text, n);
        VksCompleteRequest(irp, error, n);
    }).join();
}

int g_customEvents = 0;
char g_customData[8] = {};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && wParam == DBT_CUSTOMEVENT) {
        const auto* record = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(lParam);
        if (record->dbch_devicetype == DBT_DEVTYP_HANDLE && IsEqualGUID(record->dbch_eventguid, kEvent)) {
            ++g_customEvents;
            std::memcpy(g_customData, record->dbch_data, sizeof g_customData);
        }
        PostMessageW(window, WM_APP, 0, 0);
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main() {
    static const VKS_DRIVER_DISPATCH dispatch = {Create, Control, Close};
    void* registration = VksRegisterDeviceInterface(&kClass, u"\\\\?\\conf#host#1", u"Bus 9, Slot 1", &dispatch,
                                                    &g_driver);
    CHECK(registration != nullptr);

    // The setup API lists the interface with its path and location.
    HDEVINFO set = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    CHECK(set != INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    CHECK(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));
    DWORD required = 0;
    CHECK_ERR(!SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr),
              ERROR_INSUFFICIENT_BUFFER);
    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
        char bytes[512];
    } buffer{};
    buffer.detail.cbSize = sizeof buffer.detail;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    CHECK(required <= sizeof buffer &&
          SetupDiGetDeviceInterfaceDetailW(set, &data, &buffer.detail, sizeof buffer, nullptr, &device));
    CHECK(std::memcmp(buffer.detail.DevicePath, WSTR("\\\\?\\conf#host#1"), 16 * sizeof(WCHAR)) == 0);
    WCHAR location[32] = {};
    CHECK(SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_LOCATION_INFORMATION, nullptr,
                                            reinterpret_cast<PBYTE>(location), sizeof location, nullptr));
    CHECK(std::memcmp(location, WSTR("Bus 9, Slot 1"), 14 * sizeof(WCHAR)) == 0);
    CHECK_ERR(!SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 1, &data), ERROR_NO_MORE_ITEMS);
    CHECK(SetupDiDestroyDeviceInfoList(set));

    CHECK_ERR(CreateFileW(WSTR("\\\\?\\conf#host#1\\other"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
                  INVALID_HANDLE_VALUE,
              ERROR_FILE_NOT_FOUND);
    HANDLE file = CreateFileW(WSTR("\\\\?\\CONF#HOST#1"), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    CHECK(file != INVALID_HANDLE_VALUE);
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    CHECK(CreateIoCompletionPort(file, port, 77, 0) == port);

    // Pending, then completed from another thread: OVERLAPPED, event, packet.
    char out[16] = {};
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHECK_ERR(!DeviceIoControl(file, kHold, nullptr, 0, out, sizeof out, nullptr, &ov), ERROR_IO_PENDING);
    CHECK(ov.Internal == 0x103);  // STATUS_PENDING
    DWORD bytes = 0;
    CHECK_ERR(!GetOverlappedResult(file, &ov, &bytes, FALSE), ERROR_IO_INCOMPLETE);
#if defined(_WIN32)
    CHECK(CancelIoEx(file, &ov));  // found; the driver has no cancel routine (Linux has no CancelIoEx)
#endif
    CompleteHeld(ERROR_SUCCESS, "done");
    CHECK_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
    CHECK(GetOverlappedResult(file, &ov, &bytes, TRUE) && bytes == 4 && std::memcmp(out, "done", 4) == 0);
    ULONG_PTR key = 0;
    LPOVERLAPPED got = nullptr;
    CHECK(GetQueuedCompletionStatus(port, &bytes, &key, &got, 0));
    CHECK(key == 77 && got == &ov && bytes == 4);
#if defined(_WIN32)
    CHECK_ERR(!CancelIoEx(file, &ov), ERROR_NOT_FOUND);
#endif

    // A failed completion is dequeued as a failure with the driver's error.
    CHECK(!DeviceIoControl(file, kHold, nullptr, 0, out, sizeof out, nullptr, &ov));
    CompleteHeld(ERROR_DEVICE_NOT_CONNECTED, "");
    got = nullptr;
    key = 0;
    CHECK(!GetQueuedCompletionStatus(port, &bytes, &key, &got, 0));
    CHECK(GetLastError() == ERROR_DEVICE_NOT_CONNECTED && got == &ov && key == 77);
    CHECK_ERR(!GetOverlappedResult(file, &ov, &bytes, TRUE), ERROR_DEVICE_NOT_CONNECTED);

    // Failed inside the dispatch routine: the return value alone says so.
    const DWORD error = ERROR_NOT_SUPPORTED;
    CHECK_ERR(!DeviceIoControl(file, kFailNow, const_cast<DWORD*>(&error), sizeof error, out, sizeof out, nullptr, &ov),
              ERROR_NOT_SUPPORTED);
    CHECK_ERR(!GetQueuedCompletionStatus(port, &bytes, &key, &got, 0), WAIT_TIMEOUT);

    // Synchronous (no OVERLAPPED): the result comes back at once.
    char echo[4] = {'a', 'b', 'c', 'd'};
    bytes = 0;
    CHECK(DeviceIoControl(file, kEcho, echo, sizeof echo, out, sizeof out, &bytes, nullptr) && bytes == 4);

    // Custom events reach a window registered on the file.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = WSTR("conf_driver_host");
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, WSTR("conf_driver_host"), WSTR(""), 0, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    CHECK(window != nullptr);
    DEV_BROADCAST_HANDLE filter{sizeof filter, DBT_DEVTYP_HANDLE, 0, file, nullptr, {}, 0, {}};
    HDEVNOTIFY notify = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    CHECK(notify != nullptr);
    VksDeliverCustomDeviceEventToDevice(registration, &kEvent, "payload", 8);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_APP) DispatchMessageW(&msg);
    CHECK_EQ(g_customEvents, 1);
    CHECK(std::memcmp(g_customData, "payload", 8) == 0);
    CHECK(UnregisterDeviceNotification(notify));
    DestroyWindow(window);

    // The last close reaches the driver.
    CHECK(CloseHandle(file));
    CHECK_EQ(g_driver.closes, 1);
    CloseHandle(ov.hEvent);
    CloseHandle(port);
    VksUnregisterDeviceInterface(registration);
    return conformance::Finish("conf_driver_host");
}
