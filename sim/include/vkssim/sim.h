// Control surface of the device simulator, for tests and tools written in C++.
//
// The simulator is a driver behind the platform layer's device I/O: it
// registers device interfaces, opens device files and answers the command
// frame of every DeviceIoControl. Everything here acts on the one simulated
// machine of the process. All functions are thread-safe.
#pragma once

#include "vkssim/protocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vkssim {

// One simulated device. Empty texts and zero numbers are filled with values
// derived from the device's position when it is added.
struct DeviceConfig {
    std::u16string name;           // VKSINFOW text
    std::u16string location;       // SPDRP_LOCATION_INFORMATION text
    std::u16string interfacePath;  // path the setup API reports
    // Inputs per kind, indexed by VKSSIM_TYPE_*: network ports, decoders,
    // encoders, discovery inputs.
    uint32_t inputs[VKSSIM_TYPE_COUNT] = {2, 2, 1, 1};
    uint32_t serial = 0;
    uint32_t firmware = 0x00030002;   // major in the upper half, minor in the lower
    uint32_t streamsPerPort = 16;     // network streams one port accepts at once
    // When set, the device raises events on its own: DECODED_FIRST_FRAME when a
    // connected decoder enters state 2.
    bool autoEvents = false;
};

// One request as the driver received it.
struct Request {
    uint64_t sequence = 0;      // position in the log, from 0
    int device = -1;            // device index
    uint64_t file = 0;          // identifies the device file it was sent on
    uint32_t code = 0;
    uint32_t outputLength = 0;
    bool overlappedFile = false;
    std::vector<uint8_t> input; // the request bytes, exactly as sent

    uint32_t U32(size_t offset) const;  // 0 beyond the end
    uint64_t U64(size_t offset) const;
};

// An object opened on a device with the open command.
struct Object {
    uint32_t handle = 0;        // the driver's handle
    uint32_t type = 0;
    uint32_t channel = 0;
    uint32_t state = 0;
    uint32_t source = 0;        // decoders: connected network stream's handle
    uint32_t connectArgument = 0;
    uint32_t openFlags = 0;
    bool systemEventFlag = false;
    std::string address;        // network streams: the address received
    uint64_t lengthValue = 0;
    uint32_t transport = 0;
    uint8_t options[32] = {};
    size_t pendingEventRequests = 0;
    size_t queuedEvents = 0;
};

// --- Machine -------------------------------------------------------------------
// Removes every device (their interfaces disappear; open files stay usable and
// answer ERROR_DEVICE_NOT_CONNECTED), clears faults and the request log.
void Reset();
// Adds devices from a configuration text or file (format: sim/README.md).
bool LoadConfigText(const std::string& text, std::string* error = nullptr);
bool LoadConfigFile(const std::string& path, std::string* error = nullptr);
// Adds a device and registers its interface; returns its index.
int AddDevice(const DeviceConfig& config);
// Unregisters a device's interface (a hot removal).
bool RemoveDevice(int device);
int DeviceCount();
std::u16string InterfacePath(int device);
std::u16string Location(int device);
// Replaces the VKSINFOW the device reports for one input kind (at most 584 bytes;
// the size word is rewritten when the device answers).
bool SetDeviceInfo(int device, uint32_t type, const void* info, size_t size);
// The size word the device reports for the parameter block of a kind (as an
// older firmware with a shorter block would); 0 restores the full size.
bool SetParameterBlockSize(int device, uint32_t type, uint32_t size);

// --- Objects and events ----------------------------------------------------------
std::vector<Object> Objects(int device);
std::optional<Object> FindObject(int device, uint32_t type, uint32_t channel);
std::optional<Object> GetObject(int device, uint32_t handle);
// Raises an event for an open object: completes one held event request with
// the code (reply offset 12), value (offset 8) and payload (offset 24), or
// queues the event until the next event request. False when no such object.
bool RaiseEvent(int device, uint32_t handle, uint32_t code, uint32_t value = 0, const void* payload = nullptr,
                size_t size = 0);
// Raises a device notification: every device file registered for
// notifications receives it (code at reply offset 24, payload from 28), now
// or with its next request. Returns the number of files it reached.
int RaiseDeviceNotification(int device, uint32_t code, const void* payload = nullptr, size_t size = 0);
// Requests held pending by a device (event requests, notification requests,
// requests held by FailCompletion), optionally only those with one code (0: all).
size_t HeldRequests(int device, uint32_t code = 0);
// Waits until at least `count` requests with the code are held.
bool WaitForHeld(int device, uint32_t code, size_t count, std::chrono::milliseconds timeout);

// --- Faults ---------------------------------------------------------------------------
// A count of -1 means every time; otherwise the fault applies that many times.
// The reply carries this status and the command has no effect.
void FailWithStatus(uint32_t code, uint32_t status, int count = -1);
// The command acts normally but only `bytes` reply bytes are returned.
void ShortReply(uint32_t code, uint32_t bytes, int count = -1);
// DeviceIoControl fails at once with this Windows error number.
void FailWithWin32Error(uint32_t code, uint32_t error, int count = -1);
// Opening a device file of this device fails with the Windows error (0 clears).
void FailCreate(int device, uint32_t error);
// The request goes pending and then completes with the Windows error: held
// requests (events, notifications) when they would complete, others at once
// from the simulator's completion thread.
void FailCompletion(uint32_t code, uint32_t error, int count = -1);
// Every request that the device answers at once is instead completed from the
// simulator's completion thread (as a driver that queues its work would).
void SetAsyncCompletion(bool on);
void ClearFaults();

// --- Request log ---------------------------------------------------------------------
std::vector<Request> Requests();
uint64_t RequestMark();  // sequence number the next request will get
void ClearRequests();    // empties the log; sequence numbers keep counting
// The log keeps the newest `entries` requests (4096 unless set).
void SetRequestLogLimit(size_t entries);
// Waits until a request with the code (0: any) and a sequence number of at
// least `since` has arrived, and returns it.
std::optional<Request> WaitForRequest(uint32_t code, uint64_t since, std::chrono::milliseconds timeout);

}  // namespace vkssim
