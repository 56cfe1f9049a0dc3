// The driver commands of discovery sessions and the record sizes they carry.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct UserHandle;

enum : DWORD {
    IOCTL_VKS_DISCOVERY_START = 0x22C4A8,
    IOCTL_VKS_DISCOVERY_STOP = 0x22C4AC,
    IOCTL_VKS_DISCOVERY_GET_DATA = 0x22C4B0,
};

// Size word the start command sends with the caller's start parameters value.
constexpr DWORD kDiscoStartParmsSize = 64;

// Notification reply fields of VKSERROR_DISCOVERED_DEVICES.
constexpr DWORD kDiscoReplyInterface = 168;  // u32
constexpr DWORD kDiscoReplyThings = 176;     // u64

// The only interface whose findings are fetched and delivered.
constexpr DWORD kDiscoDeliveredInterface = 1;

static_assert(sizeof(DiscoParms) == 64 && sizeof(DiscoData) == 168 && sizeof(DiscoEntityList) == 24,
              "the discovery records are exchanged with the driver byte for byte");
static_assert(offsetof(DiscoParms, pCount) == 24 && offsetof(DiscoParms, Count) == 32 &&
                  offsetof(DiscoParms, pDiscoData) == 48 && offsetof(DiscoParms, DiscoDataSize) == 56,
              "DiscoParms layout");
static_assert(offsetof(DiscoData, Reserved1) == 136 && offsetof(DiscoData, Reserved2) == 144 &&
                  offsetof(DiscoData, pEntityList) == 152 && offsetof(DiscoData, EntityListSize) == 160,
              "DiscoData layout");
static_assert(offsetof(DiscoEntityList, pEntity) == 8 && offsetof(DiscoEntityList, EntitySize) == 16,
              "DiscoEntityList layout");

// Asks the driver to fill the records `parms` leads to with what the session
// found. Synchronous, on the object's device file.
VKSERROR VKSStartDiscoveryK(const UserHandle* object, DiscoParms* parms);
