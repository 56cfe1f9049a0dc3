// Delivery of what a discovery session found: on the worker thread, while the
// session's handle is locked, the records are built on the stack, the driver
// fills the entity buffer through them, and the discovery function sees them.
#include "discovery/discovery_events.h"

#include "core/log.h"
#include "discovery/discovery_commands.h"
#include "driver/command_channel.h"
#include "objects/user_handle.h"

#include <cstdlib>
#include <cstring>

namespace {

// Fetch request fields.
constexpr DWORD kFetchParms = 24;      // u64 address of the DiscoParms
constexpr DWORD kFetchParmsSize = 32;  // u32 its size word

// The most things one delivery can hold: a discovery session finds the
// cameras of a local network, a few hundred at most; 4096 of them take 5 MB
// of entity buffer. A driver that reports more is not believed, and nothing
// is fetched (the entity list's 32-bit byte count could not describe many
// more in any case).
constexpr ULONGLONG kMaxThings = 4096;
static_assert(kMaxThings * VKS_DISCO_ENTITY_SIZE <= 0xFFFFFFFFull, "the entity buffer's size fits its 32-bit count");

// Writes one line to the debugger output whatever the log level.
void DebugLine(const WCHAR* format, ...) {
    WCHAR line[kLogLineUnits];
    line[0] = 0;
    va_list args;
    va_start(args, format);
    _vsnwprintf_s(line, kLogLineUnits, _TRUNCATE, format, args);
    va_end(args);
    OutputDebugStringW(line);
}

DWORD LowWord(const void* pointer) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pointer)); }

}  // namespace

VKSERROR VKSStartDiscoveryK(const UserHandle* object, DiscoParms* parms) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU64(request.Bytes, kFetchParms, reinterpret_cast<ULONG_PTR>(parms));
    WriteU32(request.Bytes, kFetchParmsSize, parms->Size);
    DebugLine(WSTR("VKSStartDiscoveryK: pDiscoParms(0x%p) pDiscoData(%p)\n"), parms, parms->pDiscoData);
    DebugLine(WSTR("VKSStartDiscoveryK: pIn->Parms(%p) Size(%u) pDiscoData(%p)\n"), request.Bytes + kFetchParms,
              parms->Size, parms->pDiscoData);
    return HandleIoctlSync(object, IOCTL_VKS_DISCOVERY_GET_DATA, request.Bytes, reply.Bytes);
}

void DeliverDiscoveredDevices(DWORD hvks, UserHandle* object, BYTE* reply) {
    if (object == nullptr || reply == nullptr || object->Type != VKSDEVICETYPE_DISCOVERY) return;
    auto* function = reinterpret_cast<VKSDISCOVERYFN>(object->pDiscoveryFn);
    void* argument = object->pDiscoveryArg;
    const DWORD interfaceNumber = ReadU32(reply, kDiscoReplyInterface);
    const ULONGLONG things = ReadU64(reply, kDiscoReplyThings);
    if (function == nullptr || interfaceNumber != kDiscoDeliveredInterface) return;

    // The count is checked before anything is sized by it.
    if (things > kMaxThings) {
        LogError(WSTR("WorkerThread: hVKS:%#x discovery reports %llu things, more than a delivery holds (%llu); "
                      "nothing fetched\n"),
                 hvks, things, kMaxThings);
        return;
    }
    const DWORD entityBytes = static_cast<DWORD>(things) * VKS_DISCO_ENTITY_SIZE;
    // At least one byte, so that an empty finding still has a buffer.
    BYTE* entities = static_cast<BYTE*>(std::calloc(entityBytes != 0 ? entityBytes : 1, 1));
    LogNotification(WSTR("WorkerThread: Got Interface(%x) Things(%u) alloc pEntity(0x%p)\n"), interfaceNumber,
                    static_cast<DWORD>(things), entities);
    if (entities == nullptr) return;

    uint32_t one = 1;
    DiscoEntityList list;
    DiscoData data;
    DiscoParms parms;
    std::memset(&list, 0, sizeof(list));
    std::memset(&data, 0, sizeof(data));
    std::memset(&parms, 0, sizeof(parms));
    list.Interface = kDiscoDeliveredInterface;
    list.pEntity = entities;
    list.EntitySize = entityBytes;
    data.Size = sizeof(DiscoData);
    data.pEntityList = &list;
    data.EntityListSize = sizeof(DiscoEntityList);
    parms.Size = sizeof(DiscoParms);
    parms.pCount = &one;
    parms.Count = 1;
    parms.pDiscoData = &data;
    parms.DiscoDataSize = sizeof(DiscoData);

    LogNotification(WSTR("WorkerThread: Get discovery data from Driver for %u discovered things...\n"),
                    static_cast<DWORD>(things));
    const VKSERROR fetched = VKSStartDiscoveryK(object, &parms);

    LogNotification(WSTR("WorkerThread: 2 - Call User Fn - DiscoParms(0x%p) - DiscoArg(0x%x)\n"), &parms,
                    LowWord(argument));
    if (fetched == VKSERROR_NO_ERROR) {
        function(hvks, &parms, argument, VKSERROR_NO_ERROR);
    } else {
        // Nothing was fetched: the zeroed buffer is not a finding. The function
        // hears the failure in the form of an error notification instead.
        LogWarning(WSTR("WorkerThread: hVKS:%#x discovery data not fetched (0x%08x)\n"), hvks, fetched);
        DiscoParms empty;
        std::memset(&empty, 0, sizeof(empty));
        empty.Size = sizeof(DiscoParms);
        function(hvks, &empty, argument, fetched);
    }
    // The function may have closed its own session; nothing of the object is
    // touched from here on.
    std::free(entities);
}
