// Device-wide commands of the network family: each call resolves an input
// index to the device that owns it, opens that device's file for synchronous
// commands, sends one command and closes the file again. These commands
// concern the whole device, so the request header keeps the template's type
// and channel words.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include "driver/command_channel.h"

struct DeviceInfo;

// Opens the device's file for synchronous commands; the open failure of the
// command channel when it cannot be opened.
VKSERROR NetworkDeviceFileOpen(const DeviceInfo* device, HANDLE* file);

// Sends one standard-size command to the device on a file of its own and
// closes the file; the command's result.
VKSERROR NetworkDeviceCommand(const DeviceInfo* device, DWORD code, CommandRequest* request, CommandReply* reply);

// Reads the device's IP configuration (48 bytes) into `config`. `config` is
// written only when the command succeeds.
VKSERROR NetworkReadIpConfig(HANDLE file, VKSIPCONFIG* config);

// Network family command codes.
enum : DWORD {
    IOCTL_VKS_NETWORK_GET_INFO = 0x22C428,
    IOCTL_VKS_NETWORK_GET_MEDIA_STREAM_INFO = 0x22C42C,
    IOCTL_VKS_NETWORK_GET_IP_CONFIG = 0x22C458,
    IOCTL_VKS_NETWORK_SET_IP_CONFIG = 0x22C45C,
    IOCTL_VKS_NETWORK_GET_MAC_ADDRESSES = 0x22C468,
    IOCTL_VKS_NETWORK_GET_LOG_FILES = 0x22C46C,
    IOCTL_VKS_NETWORK_START_DEBUG_LOG = 0x22C470,
    IOCTL_VKS_NETWORK_GET_DIAGNOSTICS = 0x22C498,
    IOCTL_VKS_NETWORK_GET_NUM_CLIENTS = 0x22C4A0,
    IOCTL_VKS_NETWORK_GET_FILE_SIZE = 0x22C4A4,
    IOCTL_VKS_NETWORK_PING = 0x22C4E0,
    IOCTL_VKS_NETWORK_TRACE_ROUTE = 0x22C4E4,
};
