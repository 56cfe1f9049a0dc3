// Commands to the device itself: its information record per input kind, its
// number of inputs per kind, and device-wide notifications.
#include "sim_internal.h"

#include <algorithm>

namespace vkssim::detail {

// Layout of the driver-filled fields of the VKSINFOW this device reports:
//   4 device index, 8 input kind, 12 inputs of that kind, 16 vendor id,
//   20 product id, 24 firmware version, 28 hardware revision, 32 serial number,
//   36 network streams per port, 40..51 zero; 52 the device name (UTF-16);
//   564 PCI bus, 568 PCI slot, 572 capability bits (one per kind present),
//   576 driver version, 580 zero.
std::vector<uint8_t> DefaultDeviceInfo(const Device& device, uint32_t type) {
    std::vector<uint8_t> r(sizeof(VKSINFOW), 0);
    const DeviceConfig& c = device.config;
    PutU32(&r[0], sizeof(VKSINFOW));
    PutU32(&r[4], static_cast<uint32_t>(device.index));
    PutU32(&r[8], type);
    PutU32(&r[12], c.inputs[type]);
    PutU32(&r[16], 0x1D2F);
    PutU32(&r[20], 0x7420);
    PutU32(&r[24], c.firmware);
    PutU32(&r[28], 1);
    PutU32(&r[32], c.serial);
    PutU32(&r[36], c.streamsPerPort);
    size_t units = std::min<size_t>(c.name.size(), 255);
    std::memcpy(&r[52], c.name.data(), units * 2);
    PutU32(&r[564], static_cast<uint32_t>(device.index) + 3);
    PutU32(&r[568], 0);
    uint32_t caps = 0;
    for (uint32_t t = 0; t < VKSSIM_TYPE_COUNT; ++t)
        if (c.inputs[t]) caps |= 1u << t;
    PutU32(&r[572], caps);
    PutU32(&r[576], 0x00010000);
    return r;
}

namespace {

// 24: u32 bytes requested. Reply 24: the record, its size word the number of
// bytes given (at most the record's size).
// The configured notify_on_info codes, once, to every file registered for
// notifications; nothing while none is registered.
void RaiseNotificationsOnInfo(Command& c) {
    Device& d = c.device;
    if (d.notifyOnInfoRaised || d.notifyOnInfo.empty()) return;
    bool registered = false;
    for (File* f : d.files) registered = registered || f->notifyRegistered;
    if (!registered) return;
    d.notifyOnInfoRaised = true;
    for (File* f : d.files) {
        if (!f->notifyRegistered) continue;
        for (uint32_t code : d.notifyOnInfo) {
            if (!f->notifyIrps.empty()) {
                HeldIrp held = f->notifyIrps.front();
                f->notifyIrps.pop_front();
                CompleteHeld(held, 0, 0, VKSERROR_NO_ERROR, VKSSIM_PAYLOAD, &code, sizeof code, c.completions);
            } else {
                f->notifications.push_back(PendingEvent{code, 0, {}});
            }
        }
    }
    M().heldChanged.notify_all();
}

void GetDeviceInfo(Command& c) {
    uint32_t type = c.Type();
    if (type >= VKSSIM_TYPE_COUNT) {
        c.status = VKSERROR_INVALID_INPUT;
        return;
    }
    const std::vector<uint8_t>& info = c.device.info[type];
    uint32_t n = std::min<uint32_t>(c.InU32(VKSSIM_PAYLOAD), static_cast<uint32_t>(info.size()));
    n = std::min<uint32_t>(n, c.outLength - VKSSIM_PAYLOAD);
    if (n < 4) {
        c.status = VKSERROR_BUFFER_TOO_SMALL;
        return;
    }
    c.OutBytes(VKSSIM_PAYLOAD, info.data(), n);
    c.OutU32(VKSSIM_PAYLOAD, n);
    RaiseNotificationsOnInfo(c);
}

// 24: u32 bytes requested (8). Reply 24: u32 size, 28: u32 inputs of the kind.
void GetInputCount(Command& c) {
    uint32_t type = c.Type();
    if (type >= VKSSIM_TYPE_COUNT) {
        c.status = VKSERROR_INVALID_INPUT;
        return;
    }
    uint32_t n = std::min<uint32_t>(c.InU32(VKSSIM_PAYLOAD), 8);
    if (n < 8) {
        c.status = VKSERROR_BUFFER_TOO_SMALL;
        return;
    }
    c.OutU32(VKSSIM_PAYLOAD, 8);
    c.OutU32(VKSSIM_PAYLOAD + 4, c.device.config.inputs[type]);
}

// 24: u32 mode. A registered file keeps one request held; each notification
// completes it with the code at 24 and the payload from 28. DEREGISTER ends
// the chain: held requests and the DEREGISTER itself complete with
// VKSERROR_NO_COMPLETION, so that nobody arms again.
void SetNotify(Command& c) {
    File& f = c.file;
    uint32_t mode = c.InU32(VKSSIM_PAYLOAD);
    if (mode == VKSSIM_NOTIFY_DEREGISTER) {
        f.notifyRegistered = false;
        f.notifications.clear();
        uint32_t code = VKSERROR_NO_COMPLETION;
        for (auto& held : f.notifyIrps)
            CompleteHeld(held, 0, 0, VKSERROR_NO_ERROR, VKSSIM_PAYLOAD, &code, sizeof code, c.completions);
        f.notifyIrps.clear();
        M().heldChanged.notify_all();
        c.OutU32(VKSSIM_PAYLOAD, VKSERROR_NO_COMPLETION);
        return;
    }
    if (mode != VKSSIM_NOTIFY_REGISTER && mode != VKSSIM_NOTIFY_REREGISTER) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    if (mode == VKSSIM_NOTIFY_REREGISTER && !f.notifyRegistered) {
        // Arming again after DEREGISTER: the chain has ended.
        c.OutU32(VKSSIM_PAYLOAD, VKSERROR_NO_COMPLETION);
        return;
    }
    f.notifyRegistered = true;
    if (!f.notifications.empty()) {
        PendingEvent n = std::move(f.notifications.front());
        f.notifications.pop_front();
        c.OutU32(VKSSIM_PAYLOAD, n.code);
        c.OutBytes(VKSSIM_PAYLOAD + 4, n.payload.data(), n.payload.size());
        return;
    }
    f.notifyIrps.push_back(c.Hold());
}

}  // namespace

static void RegisterDeviceFamily(Machine& m) {
    m.handlers[VKSSIM_IOCTL_GET_DEVICE_INFO] = GetDeviceInfo;
    m.handlers[VKSSIM_IOCTL_GET_INPUT_COUNT] = GetInputCount;
    m.handlers[VKSSIM_IOCTL_DEVICE_SET_NOTIFY] = SetNotify;
}
VKSSIM_FAMILY(RegisterDeviceFamily);

}  // namespace vkssim::detail
