// Device files and regular files as kernel objects (device_io*.cpp).
#pragma once

#include "kernel_object.h"
#include "vks_win32/device.h"
#include "vks_win32/driver.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vks::devices {

struct Interface;

// What outlives a device file object while its overlapped requests finish:
// the driver's file and the count of requests that may still touch the object.
struct DeviceFileCore {
    std::shared_ptr<const Interface> iface;
    void* driverFile = nullptr;
    bool overlapped = false;
    kernel::FileObject* file = nullptr;  // valid while the object lives or requests are in flight

    std::mutex mu;
    std::condition_variable idle;
    long inflight = 0;

    void BeginRequest();
    void EndRequest();
};

// A file on a device. The driver's Close runs when the last reference goes
// (the last handle, and any call still using the object); it runs outside the
// kernel lock, as the last reference is never dropped with it held.
class DeviceFile final : public kernel::FileObject {
public:
    explicit DeviceFile(std::shared_ptr<DeviceFileCore> c) : core(std::move(c)) {}
    const char* TypeName() const noexcept override { return "File"; }
    std::shared_ptr<DeviceFileCore> core;

protected:
    ~DeviceFile() override;
};

// CreateFileW on a device path ("\\?\..." or "\\.\...").
HANDLE OpenDeviceFile(LPCWSTR fileName, DWORD flagsAndAttributes);

}  // namespace vks::devices
