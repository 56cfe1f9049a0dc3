// Device notifications on simulated files: RegisterDeviceNotificationW with a
// handle filter on such a file is the host's registration, and the driver's
// custom events reach its window as WM_DEVICECHANGE(DBT_CUSTOMEVENT) with a
// DEV_BROADCAST_HANDLE record. One host thread sends the messages in order
// (the record stays valid until the window procedure returns), so the driver
// never waits for a window thread that may be waiting for the driver.
#include "host_internal.h"
#include "vks_win32/window_ext.h"

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace vks::host {

namespace {

struct Registration {
    HWND window;
    HANDLE file;
    std::shared_ptr<const Interface> iface;
};

struct Message {
    HWND window;
    std::unique_ptr<uint8_t[]> record;
};

std::mutex g_mu;
std::vector<Registration*> g_registrations;

std::mutex g_queueMu;
std::condition_variable g_queueCv;
std::deque<Message> g_queue;
bool g_senderStarted = false;

void Sender() {
    for (;;) {
        Message m;
        {
            std::unique_lock lock(g_queueMu);
            g_queueCv.wait(lock, [] { return !g_queue.empty(); });
            m = std::move(g_queue.front());
            g_queue.pop_front();
        }
        SendMessageW(m.window, WM_DEVICECHANGE, DBT_CUSTOMEVENT, reinterpret_cast<LPARAM>(m.record.get()));
    }
}

template <class Match>
void Deliver(Match match, const GUID* eventGuid, const void* data, DWORD dataSize) {
    constexpr size_t header = offsetof(DEV_BROADCAST_HANDLE, dbch_data);
    std::vector<Message> out;
    {
        std::lock_guard lock(g_mu);
        for (Registration* r : g_registrations) {
            if (!match(*r)) continue;
            const size_t used = header + dataSize;
            const size_t size = used > sizeof(DEV_BROADCAST_HANDLE) ? used : sizeof(DEV_BROADCAST_HANDLE);
            Message m{r->window, std::unique_ptr<uint8_t[]>(new uint8_t[size]())};
            auto* rec = reinterpret_cast<DEV_BROADCAST_HANDLE*>(m.record.get());
            rec->dbch_size = static_cast<DWORD>(used);
            rec->dbch_devicetype = DBT_DEVTYP_HANDLE;
            rec->dbch_handle = r->file;
            rec->dbch_hdevnotify = reinterpret_cast<HDEVNOTIFY>(r);
            if (eventGuid) rec->dbch_eventguid = *eventGuid;
            rec->dbch_nameoffset = -1;
            if (dataSize && data) std::memcpy(m.record.get() + header, data, dataSize);
            out.push_back(std::move(m));
        }
    }
    if (out.empty()) return;
    std::lock_guard lock(g_queueMu);
    for (Message& m : out) g_queue.push_back(std::move(m));
    if (!g_senderStarted) {
        g_senderStarted = true;
        std::thread(Sender).detach();
    }
    g_queueCv.notify_one();
}

}  // namespace

}  // namespace vks::host

using namespace vks::host;

extern "C" {

HDEVNOTIFY WINAPI VksHostRegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
    const auto* hdr = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if (hdr && (flags & 0x3) == DEVICE_NOTIFY_WINDOW_HANDLE && hdr->dbch_devicetype == DBT_DEVTYP_HANDLE &&
        hdr->dbch_size >= offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify)) {
        const HANDLE file = static_cast<const DEV_BROADCAST_HANDLE*>(filter)->dbch_handle;
        if (std::shared_ptr<const Interface> iface = InterfaceOfFile(file)) {
            if (!IsWindow(static_cast<HWND>(recipient))) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            auto* r = new Registration{static_cast<HWND>(recipient), file, std::move(iface)};
            std::lock_guard lock(g_mu);
            g_registrations.push_back(r);
            SetLastError(ERROR_SUCCESS);
            return reinterpret_cast<HDEVNOTIFY>(r);
        }
    }
    return ::RegisterDeviceNotificationW(recipient, filter, flags);
}

BOOL WINAPI VksHostUnregisterDeviceNotification(HDEVNOTIFY notification) {
    {
        std::lock_guard lock(g_mu);
        for (auto it = g_registrations.begin(); it != g_registrations.end(); ++it) {
            if (reinterpret_cast<HDEVNOTIFY>(*it) != notification) continue;
            delete *it;
            g_registrations.erase(it);
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    }
    return ::UnregisterDeviceNotification(notification);
}

void VksDeliverCustomDeviceEvent(HANDLE deviceFile, const GUID* eventGuid, const void* data, DWORD dataSize) {
    Deliver([&](const Registration& r) { return r.file == deviceFile; }, eventGuid, data, dataSize);
}

void VksDeliverCustomDeviceEventToDevice(const void* deviceRegistration, const GUID* eventGuid, const void* data,
                                         DWORD dataSize) {
    Deliver([&](const Registration& r) { return r.iface.get() == deviceRegistration; }, eventGuid, data, dataSize);
}

}  // extern "C"
