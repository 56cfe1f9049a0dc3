// Device notifications (RegisterDeviceNotificationW) and the hooks through
// which the stand-ins play the system's part: display changes and custom
// device events.
//
// Events are delivered as SendNotifyMessage delivers (see window_ext.h):
// sent, not posted, because WM_DEVICECHANGE records may not be posted, and
// without waiting for other threads, because the caller (a simulated device
// completing a request, say) may hold what the window's thread is waiting
// for. Each record is the window's own heap copy, freed once its procedure
// has returned.
#include "window_internal.h"

#include "vks_win32/window_ext.h"

#include <cstring>

namespace vks::window {

namespace {

struct Registration {
    HDEVNOTIFY id;
    HWND hwnd;
    HANDLE handle;
};

struct Registrations {
    std::vector<Registration> list;  // in registration order
    uintptr_t next = 0x7A10;
};

Registrations& R() {
    static Registrations* r = new Registrations;  // never destroyed, like the window table
    return *r;
}

Payload CustomEventRecord(const Registration& reg, const GUID* eventGuid, const void* data, DWORD dataSize) {
    constexpr size_t header = offsetof(DEV_BROADCAST_HANDLE, dbch_data);
    const size_t used = header + dataSize;
    Payload p;
    p.size = used < sizeof(DEV_BROADCAST_HANDLE) ? sizeof(DEV_BROADCAST_HANDLE) : used;
    p.bytes.reset(new unsigned char[p.size]());
    auto* rec = reinterpret_cast<DEV_BROADCAST_HANDLE*>(p.bytes.get());
    rec->dbch_size = static_cast<DWORD>(used);
    rec->dbch_devicetype = DBT_DEVTYP_HANDLE;
    rec->dbch_reserved = 0;
    rec->dbch_handle = reg.handle;
    rec->dbch_hdevnotify = reg.id;
    if (eventGuid) rec->dbch_eventguid = *eventGuid;
    rec->dbch_nameoffset = -1;
    if (data && dataSize) std::memcpy(p.bytes.get() + header, data, dataSize);
    return p;
}

std::vector<Registration> Snapshot() {
    std::lock_guard<std::mutex> lock(WindowLock());
    return R().list;
}

void DeliverCustomEvent(const std::vector<Registration>& targets, const GUID* eventGuid, const void* data,
                        DWORD dataSize) {
    for (const Registration& reg : targets) {
        SendNotify(reg.hwnd, WM_DEVICECHANGE, DBT_CUSTOMEVENT, 0, CustomEventRecord(reg, eventGuid, data, dataSize));
    }
}

}  // namespace

}  // namespace vks::window

using namespace vks::window;

extern "C" {

HDEVNOTIFY WINAPI RegisterDeviceNotificationW(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
    if (Flags & ~static_cast<DWORD>(DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (Flags & DEVICE_NOTIFY_SERVICE_HANDLE) {
        SetLastError(ERROR_NOT_SUPPORTED);  // no services here
        return nullptr;
    }
    const auto* hdr = static_cast<const DEV_BROADCAST_HDR*>(NotificationFilter);
    if (!hdr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (hdr->dbch_devicetype != DBT_DEVTYP_HANDLE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (hdr->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    const HANDLE handle = static_cast<const DEV_BROADCAST_HANDLE*>(NotificationFilter)->dbch_handle;
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(WindowLock());
    if (!IsWindowLocked(static_cast<HWND>(hRecipient))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Registrations& r = R();
    const auto id = reinterpret_cast<HDEVNOTIFY>(r.next);
    r.next += 8;
    r.list.push_back({id, static_cast<HWND>(hRecipient), handle});
    return id;
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    std::lock_guard<std::mutex> lock(WindowLock());
    auto& list = R().list;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == Handle) {
            list.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

void VksBroadcastDisplayChange(DWORD bitsPerPixel, DWORD width, DWORD height) {
    std::vector<HWND> targets;
    BroadcastTargets(targets);
    for (HWND hwnd : targets) {
        SendNotify(hwnd, WM_DISPLAYCHANGE, bitsPerPixel, MAKELPARAM(width, height), Payload{});
    }
}

void VksDeliverCustomDeviceEvent(HANDLE deviceFile, const GUID* eventGuid, const void* data, DWORD dataSize) {
    std::vector<Registration> targets;
    for (const Registration& reg : Snapshot()) {
        if (reg.handle == deviceFile) targets.push_back(reg);
    }
    DeliverCustomEvent(targets, eventGuid, data, dataSize);
}

void VksDeliverCustomDeviceEventToDevice(const void* deviceRegistration, const GUID* eventGuid, const void* data,
                                         DWORD dataSize) {
    if (!deviceRegistration) return;
    std::vector<Registration> targets;
    // Resolved without the window lock: device I/O takes its own locks.
    for (const Registration& reg : Snapshot()) {
        if (VksDeviceRegistrationOfHandle(reg.handle) == deviceRegistration) targets.push_back(reg);
    }
    DeliverCustomEvent(targets, eventGuid, data, dataSize);
}

}  // extern "C"
