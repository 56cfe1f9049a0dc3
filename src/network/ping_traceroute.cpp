// Network tests run by a device: ping and trace-route to a destination, and
// the port test, which is not supported. Each is one synchronous command on a
// device file of its own; the device's result code is returned unchanged.
#include "core/engine.h"
#include "core/log.h"
#include "core/status_codes.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "network/network_device_command.h"

#include <cstdlib>
#include <cstring>

static_assert(sizeof(VKSTRACEROUTEREPORT) == 4100, "trace-route block");
static_assert(sizeof(void*) != 8 || (sizeof(VKSTRACEROUTERESULTS) == 12 &&
                                     offsetof(VKSTRACEROUTERESULTS, pReports) == 4),
              "trace-route results record");

namespace {

// Request fields of both tests.
constexpr DWORD kInterfaceByte = 24;
constexpr DWORD kDestination = 25;
constexpr size_t kDestinationBytes = 2048;
constexpr DWORD kReportCount = 2076;
// Interface byte that leaves the choice of interface to the device.
constexpr BYTE kAnyInterface = 255;
constexpr DWORD kReportBytes = sizeof(VKSTRACEROUTEREPORT);
constexpr uint32_t kMaxReports = VKS_TRACEROUTE_MAX_REPORTS;
static_assert(kPayload + kMaxReports * kReportBytes == kReplyBytes, "two blocks fill the reply");

// Checks the destination and puts it, with its terminator, into the request.
VKSERROR PutDestination(BYTE* request, const char* destination) {
    if (destination == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const size_t length = strnlen(destination, kDestinationBytes);
    if (length >= kDestinationBytes) return VKSERROR_BUFFER_TOO_SMALL;
    std::memcpy(request + kDestination, destination, length + 1);
    return VKSERROR_NO_ERROR;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSNetworkPingIPAddressA(uint32_t DecoderIndex, uint8_t NetIfc, const char* pszDestination) {
    LogNotification(WSTR("VKSACC::VKSNetworkPingIPAddressA: START -- check ping from device(%u) to ")
                        WSTR("pUriDestination(%p)(%S)\n"),
                    DecoderIndex, pszDestination, pszDestination);
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    if (NetIfc < kAnyInterface) LogError(WSTR("VKSNetworkPingIPAddressA: NetIfc is unsuported\n"));

    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, DecoderIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    HANDLE file = nullptr;
    const VKSERROR opened = NetworkDeviceFileOpen(device, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;

    CommandRequest request = kRequestTemplate;
    VKSERROR status = PutDestination(request.Bytes, pszDestination);
    if (status == VKSERROR_NO_ERROR) {
        CommandReply reply = kReplyTemplate;
        request.Bytes[kInterfaceByte] = NetIfc;
        status = DeviceIoctlSync(file, IOCTL_VKS_NETWORK_PING, request.Bytes, kRequestBytes, reply.Bytes, kReplyBytes);
    }
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSNetworkPingIPAddressW(uint32_t DecoderIndex, uint8_t NetIfc, const VKSWCHAR* pszDestination) {
    char* destination = WideToUtf8Alloc(reinterpret_cast<const WCHAR*>(pszDestination));
    if (destination == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSERROR status = VKSNetworkPingIPAddressA(DecoderIndex, NetIfc, destination);
    std::free(destination);
    return status;
}

VKSERROR VKSAPI VKSNetworkTraceRoute(uint32_t DecoderIndex, uint8_t NetIfc, const char* pszDestination,
                                     VKSTRACEROUTERESULTS* pResults, uint32_t ReportCount) {
    LogNotification(WSTR("VKSACC::VKSNetworkTraceRoute: START -- check traceroute from device(%u) to ")
                        WSTR("pUriDestination(%p)(%S)\n"),
                    DecoderIndex, pszDestination, pszDestination);
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    if (ReportCount == 0) return VKSERROR_INVALID_INPUT;
    if (NetIfc < kAnyInterface) LogError(WSTR("VKSNetworkTraceRoute: netIfc is unsuported\n"));
    // The report area is written through pReports, so it must be there too.
    if (pResults == nullptr || pResults->pReports == nullptr) return VKSERROR_INVALID_ARGUMENT;
    if (static_cast<ULONGLONG>(pResults->Size) != static_cast<ULONGLONG>(ReportCount) * kReportBytes) {
        LogError(WSTR("VKSNetworkTraceRoute: wrong memmory allocation\n"));
        return VKSERROR_BUFFER_TOO_SMALL;
    }

    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, DecoderIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    HANDLE file = nullptr;
    const VKSERROR opened = NetworkDeviceFileOpen(device, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;

    CommandRequest request = kRequestTemplate;
    VKSERROR status = VKSERROR_NO_ERROR;
    if (pszDestination == nullptr || pResults->Size == 0) {
        status = VKSERROR_INVALID_ARGUMENT;
    } else if (ReportCount > kMaxReports) {
        status = VKSERROR_BUFFER_TOO_SMALL;
    } else {
        status = PutDestination(request.Bytes, pszDestination);
    }
    if (status == VKSERROR_NO_ERROR) {
        CommandReply reply = kReplyTemplate;
        request.Bytes[kInterfaceByte] = NetIfc;
        WriteU32(request.Bytes, kReportCount, ReportCount);
        status = DeviceIoctlSync(file, IOCTL_VKS_NETWORK_TRACE_ROUTE, request.Bytes, kRequestBytes, reply.Bytes,
                                 kReplyBytes);
        if (status == VKSERROR_DIAG_TRACEROUTE_COMPLETE) {
            uint32_t blocks = pResults->Size / kReportBytes;
            if (blocks > kMaxReports) blocks = kMaxReports;
            for (uint32_t j = 0; j < blocks; ++j) {
                std::memcpy(&pResults->pReports[j], reply.Bytes + kPayload + kReportBytes * j, kReportBytes);
            }
        }
    }
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSNetworkPortTestAddressA(uint32_t, const char*, uint32_t) { return VKSERROR_UNSUPPORTED; }

VKSERROR VKSAPI VKSNetworkPortTestAddressW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t Option) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    char* address = WideToUtf8Alloc(reinterpret_cast<const WCHAR*>(pszAddress));
    if (address == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSERROR status = VKSNetworkPortTestAddressA(PortIndex, address, Option);
    std::free(address);
    return status;
}

}  // extern "C"
