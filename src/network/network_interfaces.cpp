// The IPv4 interfaces configured on the devices' network ports, read from
// each device's IP configuration. These answer whether or not the engine is
// loaded: without it there are no ports.
#include "core/engine.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "network/network_device_command.h"

#include <cstring>

static_assert(sizeof(VKSINTERFACEADDRESS) == 136 && offsetof(VKSINTERFACEADDRESS, Family) == 8 &&
                  offsetof(VKSINTERFACEADDRESS, Address) == 12,
              "interface address layout");

namespace {

constexpr WORD kFamilyIPv4 = 2;
constexpr DWORD kInterfacesPerConfig = 2;

// Reads the IP configuration of the device behind a network port into a
// zeroed record: VKSERROR_INVALID_INPUT (port), VKSERROR_INVALID_HANDLE
// (device file) or VKSERROR_NOACCESS (query).
VKSERROR ReadPortConfig(uint32_t portIndex, VKSIPCONFIG* config) {
    std::memset(config, 0, sizeof(*config));
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_NETWORK, portIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    HANDLE file = nullptr;
    if (NetworkDeviceFileOpen(device, &file) != VKSERROR_NO_ERROR) return VKSERROR_INVALID_HANDLE;
    const VKSERROR status = NetworkReadIpConfig(file, config);
    DeviceFileClose(file);
    return status == VKSERROR_NO_ERROR ? VKSERROR_NO_ERROR : VKSERROR_NOACCESS;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSNetworkConfiguredInterfaceCount(uint32_t* pCount) {
    if (pCount == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const uint32_t ports = Global.NetworkPorts.Count;
    uint32_t total = 0;
    VKSERROR status = VKSERROR_NO_ERROR;
    for (uint32_t port = 0; port < ports; ++port) {
        VKSIPCONFIG config;
        status = ReadPortConfig(port, &config);
        if (status != VKSERROR_NO_ERROR) break;
        for (DWORD i = 0; i < kInterfacesPerConfig; ++i) {
            if (config.Interface[i].IPv4Address != 0) ++total;
        }
    }
    *pCount = total;
    return status;
}

VKSERROR VKSAPI VKSNetworkConfiguredInterfaceInfo(uint32_t PortIndex, VKSINTERFACEADDRESS* pEntries,
                                                  uint32_t* pCount) {
    if (pCount == nullptr) return VKSERROR_INVALID_ARGUMENT;
    // Entries may be absent only when there is no room for any.
    if (pEntries == nullptr && *pCount != 0) return VKSERROR_INVALID_ARGUMENT;
    VKSIPCONFIG config;
    const VKSERROR status = ReadPortConfig(PortIndex, &config);
    if (status != VKSERROR_NO_ERROR) return status;
    const uint32_t capacity = *pCount;
    uint32_t filled = 0;
    for (DWORD i = 0; i < kInterfacesPerConfig; ++i) {
        const DWORD address = config.Interface[i].IPv4Address;
        if (address == 0) continue;
        if (filled >= capacity) return VKSERROR_BUFFER_TOO_SMALL;
        VKSINTERFACEADDRESS* entry = &pEntries[filled++];
        entry->Family = kFamilyIPv4;
        for (int b = 0; b < 4; ++b) entry->Address[b] = static_cast<uint8_t>(address >> (24 - 8 * b));
    }
    *pCount = filled;
    return VKSERROR_NO_ERROR;
}

}  // extern "C"
