// The C control surface: thin wrappers over the C++ one.
#include "vkssim/sim_c.h"

#include "sim_internal.h"

#include <algorithm>
#include <cstring>

namespace {

int Report(bool ok, const std::string& error, char* buffer, size_t size) {
    if (!ok && buffer && size) {
        size_t n = std::min(error.size(), size - 1);
        std::memcpy(buffer, error.data(), n);
        buffer[n] = 0;
    }
    return ok ? 1 : 0;
}

void ToC(const vkssim::Object& o, VKSSIM_OBJECT* c) {
    c->handle = o.handle;
    c->type = o.type;
    c->channel = o.channel;
    c->state = o.state;
    c->source = o.source;
    c->connectArgument = o.connectArgument;
    c->openFlags = o.openFlags;
    c->transport = o.transport;
    c->lengthValue = o.lengthValue;
    c->pendingEventRequests = static_cast<uint32_t>(o.pendingEventRequests);
    c->queuedEvents = static_cast<uint32_t>(o.queuedEvents);
}

void ToC(const vkssim::Request& r, VKSSIM_REQUEST* c, void* input, size_t capacity) {
    if (c) {
        c->sequence = r.sequence;
        c->device = r.device;
        c->code = r.code;
        c->file = r.file;
        c->outputLength = r.outputLength;
        c->overlappedFile = r.overlappedFile ? 1 : 0;
        c->inputLength = static_cast<uint32_t>(r.input.size());
    }
    if (input && capacity) std::memcpy(input, r.input.data(), std::min(capacity, r.input.size()));
}

}  // namespace

extern "C" {

void vkssim_reset(void) { vkssim::Reset(); }

int vkssim_load_config_text(const char* text, char* error, size_t errorSize) {
    std::string e;
    bool ok = text && vkssim::LoadConfigText(text, &e);
    if (!text) e = "no text";
    return Report(ok, e, error, errorSize);
}

int vkssim_load_config_file(const char* path, char* error, size_t errorSize) {
    std::string e;
    bool ok = path && vkssim::LoadConfigFile(path, &e);
    if (!path) e = "no path";
    return Report(ok, e, error, errorSize);
}

void vkssim_default_device_config(VKSSIM_DEVICE_CONFIG* config) {
    vkssim::DeviceConfig d;
    std::memset(config, 0, sizeof *config);
    std::copy(std::begin(d.inputs), std::end(d.inputs), config->inputs);
    config->firmware = d.firmware;
    config->streamsPerPort = d.streamsPerPort;
}

int vkssim_add_device(const VKSSIM_DEVICE_CONFIG* config) {
    if (!config) return -1;
    vkssim::DeviceConfig d;
    if (config->name) d.name = config->name;
    if (config->location) d.location = config->location;
    if (config->interfacePath) d.interfacePath = config->interfacePath;
    std::copy(std::begin(config->inputs), std::end(config->inputs), d.inputs);
    d.serial = config->serial;
    d.firmware = config->firmware;
    d.streamsPerPort = config->streamsPerPort ? config->streamsPerPort : 16;
    d.autoEvents = config->autoEvents != 0;
    return vkssim::AddDevice(d);
}

int vkssim_remove_device(int device) { return vkssim::RemoveDevice(device) ? 1 : 0; }
int vkssim_device_count(void) { return vkssim::DeviceCount(); }

size_t vkssim_interface_path(int device, char16_t* buffer, size_t capacity) {
    std::u16string path = vkssim::InterfacePath(device);
    if (buffer && capacity) {
        size_t n = std::min(path.size(), capacity - 1);
        std::memcpy(buffer, path.data(), n * sizeof(char16_t));
        buffer[n] = 0;
    }
    return path.size() + 1;
}

int vkssim_set_device_info(int device, uint32_t type, const void* info, size_t size) {
    return vkssim::SetDeviceInfo(device, type, info, size) ? 1 : 0;
}

int vkssim_set_parameter_block_size(int device, uint32_t type, uint32_t size) {
    return vkssim::SetParameterBlockSize(device, type, size) ? 1 : 0;
}

size_t vkssim_objects(int device, VKSSIM_OBJECT* objects, size_t capacity) {
    std::vector<vkssim::Object> all = vkssim::Objects(device);
    for (size_t i = 0; i < all.size() && i < capacity && objects; ++i) ToC(all[i], &objects[i]);
    return all.size();
}

int vkssim_find_object(int device, uint32_t type, uint32_t channel, VKSSIM_OBJECT* object) {
    auto o = vkssim::FindObject(device, type, channel);
    if (!o) return 0;
    if (object) ToC(*o, object);
    return 1;
}

int vkssim_raise_event(int device, uint32_t handle, uint32_t code, uint32_t value, const void* payload, size_t size) {
    return vkssim::RaiseEvent(device, handle, code, value, payload, size) ? 1 : 0;
}

int vkssim_raise_device_notification(int device, uint32_t code, const void* payload, size_t size) {
    return vkssim::RaiseDeviceNotification(device, code, payload, size);
}

size_t vkssim_held_requests(int device, uint32_t code) { return vkssim::HeldRequests(device, code); }

int vkssim_wait_for_held(int device, uint32_t code, size_t count, uint32_t timeoutMs) {
    return vkssim::WaitForHeld(device, code, count, std::chrono::milliseconds(timeoutMs)) ? 1 : 0;
}

void vkssim_fail_with_status(uint32_t code, uint32_t status, int count) { vkssim::FailWithStatus(code, status, count); }
void vkssim_short_reply(uint32_t code, uint32_t bytes, int count) { vkssim::ShortReply(code, bytes, count); }
void vkssim_fail_with_win32_error(uint32_t code, uint32_t error, int count) {
    vkssim::FailWithWin32Error(code, error, count);
}
void vkssim_fail_create(int device, uint32_t error) { vkssim::FailCreate(device, error); }
void vkssim_fail_completion(uint32_t code, uint32_t error, int count) { vkssim::FailCompletion(code, error, count); }
void vkssim_set_async_completion(int on) { vkssim::SetAsyncCompletion(on != 0); }
void vkssim_clear_faults(void) { vkssim::ClearFaults(); }

size_t vkssim_request_count(void) { return vkssim::Requests().size(); }

int vkssim_get_request(size_t index, VKSSIM_REQUEST* request, void* input, size_t capacity) {
    std::vector<vkssim::Request> all = vkssim::Requests();
    if (index >= all.size()) return 0;
    ToC(all[index], request, input, capacity);
    return 1;
}

uint64_t vkssim_request_mark(void) { return vkssim::RequestMark(); }
void vkssim_clear_requests(void) { vkssim::ClearRequests(); }

int vkssim_wait_for_request(uint32_t code, uint64_t since, uint32_t timeoutMs, VKSSIM_REQUEST* request, void* input,
                            size_t capacity) {
    auto r = vkssim::WaitForRequest(code, since, std::chrono::milliseconds(timeoutMs));
    if (!r) return 0;
    ToC(*r, request, input, capacity);
    return 1;
}

}  // extern "C"
