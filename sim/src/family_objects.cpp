// Open objects: open, close, state, decoder-to-stream connection, the render
// input name, and event requests held until an event is raised.
#include "sim_internal.h"

#include <algorithm>
#include <cstdio>

namespace vkssim::detail {

namespace {

// Open request fields after the header.
constexpr size_t kOpenAddress = 24;       // u64 pointer to the address text
constexpr size_t kOpenAddressSize = 2072;  // u32 size of the text, terminator included
constexpr size_t kOpenLengthValue = 2080;  // u64
constexpr size_t kOpenTransport = 2088;    // u32
constexpr size_t kOpenOptions = 2092;      // 32 bytes
constexpr size_t kOpenFlags = 2124;        // u32
constexpr size_t kOpenSystemEvent = 2128;  // u8
constexpr uint32_t kMaxAddress = 64 * 1024;

SimObject* Find(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    return it == c.device.objects.end() ? nullptr : &it->second;
}

uint32_t InUseStatus(uint32_t type) {
    switch (type) {
    case VKSSIM_TYPE_DECODER: return VKSERROR_DECODER_DEVICE_IN_USE;
    case VKSSIM_TYPE_ENCODER: return VKSERROR_ENCODER_DEVICE_IN_USE;
    case VKSSIM_TYPE_DISCOVERY: return VKSERROR_DISCOVERY_DEVICE_IN_USE;
    default: return VKSERROR_NETWORK_DEVICE_IN_USE;
    }
}

// Decoders, encoders and discovery inputs serve one object at a time; a
// network port carries up to streamsPerPort streams.
void Open(Command& c) {
    uint32_t type = c.Type(), channel = c.Channel();
    if (type >= VKSSIM_TYPE_COUNT || channel >= c.device.config.inputs[type]) {
        c.status = VKSERROR_INVALID_INPUT;
        return;
    }
    uint32_t users = 0;
    for (auto& [h, o] : c.device.objects)
        if (o.info.type == type && o.info.channel == channel) ++users;
    uint32_t limit = type == VKSSIM_TYPE_NETWORK ? c.device.config.streamsPerPort : 1;
    if (users >= limit) {
        c.status = InUseStatus(type);
        return;
    }
    SimObject object;
    Object& info = object.info;
    info.handle = c.device.nextHandle++;
    info.type = type;
    info.channel = channel;
    if (type == VKSSIM_TYPE_NETWORK) {
        // The address travels by pointer into the caller's memory, which the
        // device reads while the command runs.
        auto* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(c.InU64(kOpenAddress)));
        uint32_t size = c.InU32(kOpenAddressSize);
        if (text && size) info.address.assign(text, strnlen(text, std::min(size, kMaxAddress)));
        info.lengthValue = c.InU64(kOpenLengthValue);
        info.transport = c.InU32(kOpenTransport);
        if (c.in.size() >= kOpenOptions + 32) std::memcpy(info.options, c.in.data() + kOpenOptions, 32);
    } else {
        info.openFlags = c.InU32(kOpenFlags);
    }
    info.systemEventFlag = c.in.size() > kOpenSystemEvent && c.in[kOpenSystemEvent] != 0;
    object.owner = &c.file;
    object.params = ParameterBlock(type, VKSSIM_SELECTOR_CURRENT);
    c.replyHandle = info.handle;
    c.device.objects.emplace(info.handle, std::move(object));
}

void Close(Command& c) {
    if (!Find(c)) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    EndObject(c.device, c.Handle(), c.completions);
}

// 24: u32 state. States are the object's; the device keeps what it is told.
void SetState(Command& c) {
    SimObject* o = Find(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    uint32_t previous = o->info.state;
    o->info.state = c.InU32(VKSSIM_PAYLOAD);
    if (c.device.config.autoEvents && o->info.type == VKSSIM_TYPE_DECODER && o->info.state == 2 && previous != 2 &&
        o->info.source != 0)
        DeliverEvent(*o, PendingEvent{VKSERROR_DECODED_FIRST_FRAME, 0, {}}, c.completions);
    // A state change can start or stop a frame clock that waits for held
    // requests to change (an encoder given its output samples before it was
    // set streaming would otherwise never be looked at again).
    M().heldChanged.notify_all();
}

// 24: u32 source stream's handle (0 disconnects); 28: u32 connect argument.
void ConnectSource(Command& c) {
    SimObject* o = Find(c);
    if (!o || o->info.type != VKSSIM_TYPE_DECODER) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    uint32_t source = c.InU32(VKSSIM_PAYLOAD);
    if (source != 0) {
        auto it = c.device.objects.find(source);
        if (it == c.device.objects.end() || it->second.info.type != VKSSIM_TYPE_NETWORK) {
            c.status = VKSERROR_INVALID_CONNECTION;
            return;
        }
    }
    o->info.source = source;
    o->info.connectArgument = c.InU32(VKSSIM_PAYLOAD + 4);
}

// Reply 24: the decoder's render input name, UTF-16 with its terminator.
void GetRenderInputName(Command& c) {
    SimObject* o = Find(c);
    if (!o || o->info.type != VKSSIM_TYPE_DECODER) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    char text[64];
    int n = std::snprintf(text, sizeof text, "VKSRENDER:%d:%u", c.device.index, o->info.channel);
    std::u16string name(text, text + n);
    c.OutBytes(VKSSIM_PAYLOAD, name.c_str(), (name.size() + 1) * sizeof(char16_t));
}

// Held until an event is raised for the object; an event raised while no
// request waits is kept for the next one.
void EventRequest(Command& c) {
    SimObject* o = Find(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    if (!o->events.empty()) {
        PendingEvent e = std::move(o->events.front());
        o->events.pop_front();
        c.status = e.code;
        c.value = e.value;
        c.OutBytes(VKSSIM_PAYLOAD, e.payload.data(), e.payload.size());
        return;
    }
    o->eventIrps.push_back(c.Hold());
}

}  // namespace

void DeliverEvent(SimObject& object, PendingEvent event, std::vector<Completion>& completions) {
    if (object.eventIrps.empty()) {
        object.events.push_back(std::move(event));
        return;
    }
    HeldIrp held = object.eventIrps.front();
    object.eventIrps.pop_front();
    CompleteHeld(held, object.info.handle, event.value, event.code, VKSSIM_PAYLOAD, event.payload.data(),
                 event.payload.size(), completions);
}

void EndObject(Device& device, uint32_t handle, std::vector<Completion>& completions) {
    auto it = device.objects.find(handle);
    if (it == device.objects.end()) return;
    for (auto& held : it->second.eventIrps)
        CompleteHeld(held, handle, 0, VKSERROR_NO_COMPLETION, 0, nullptr, 0, completions);
    it->second.eventIrps.clear();
    for (auto ended : M().objectEnded) ended(device, handle, completions);
    device.objects.erase(it);
    // Decoders fed by this stream lose their source.
    for (auto& [h, o] : device.objects)
        if (o.info.source == handle) o.info.source = 0;
    M().heldChanged.notify_all();
}

static void RegisterObjectFamily(Machine& m) {
    m.handlers[VKSSIM_IOCTL_OPEN] = Open;
    m.handlers[VKSSIM_IOCTL_CLOSE] = Close;
    m.handlers[VKSSIM_IOCTL_SET_STATE] = SetState;
    m.handlers[VKSSIM_IOCTL_CONNECT_SOURCE] = ConnectSource;
    m.handlers[VKSSIM_IOCTL_GET_RENDER_INPUT_NAME] = GetRenderInputName;
    m.handlers[VKSSIM_IOCTL_EVENT_REQUEST] = EventRequest;
}
VKSSIM_FAMILY(RegisterObjectFamily);

}  // namespace vkssim::detail
