// Stream diagnostics of a device: per-interface counters and one entry per
// stream, converted from the device's stream records into the caller's.
#include "core/engine.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "network/network_device_command.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

static_assert(sizeof(VKSSTREAMDIAGNOSTICS) == 396, "stream diagnostics entry");
static_assert(offsetof(VKSSTREAMDIAGNOSTICS, Kind) == 88 && offsetof(VKSSTREAMDIAGNOSTICS, Text) == 112 &&
                  offsetof(VKSSTREAMDIAGNOSTICS, Values2) == 372 && offsetof(VKSSTREAMDIAGNOSTICS, Short0) == 392 &&
                  offsetof(VKSSTREAMDIAGNOSTICS, Short1) == 394,
              "stream diagnostics entry layout");
static_assert(offsetof(VKSNETWORKDIAGNOSTICS, NumStreams) == 12 &&
                  offsetof(VKSNETWORKDIAGNOSTICS, NumInterfaces) == 16,
              "diagnostics request layout");
static_assert(sizeof(void*) != 8 || (offsetof(VKSNETWORKDIAGNOSTICS, pFirstCounters) == 620 &&
                                     offsetof(VKSNETWORKDIAGNOSTICS, pSecondCounters) == 628 &&
                                     offsetof(VKSNETWORKDIAGNOSTICS, pStreams) == 660),
              "diagnostics request pointers");

namespace {

// One device stream record and the command's enlargement per stream.
constexpr DWORD kDeviceEntryBytes = 2752;
// Working record: size, N, the four counters, then the stream records.
constexpr DWORD kWorkingBaseBytes = 2792;
constexpr DWORD kWorkingCounters = 8, kWorkingEntries = 40;
// Request and reply words carrying the working record's size and N.
constexpr DWORD kWorkingSizeWord = 32, kStreamCountWord = 36;
// Reply: counters (first of interfaces 0 and 1, then second of 0 and 1),
// then the stream records.
constexpr DWORD kReplyCounters = 40, kReplyCounterBytes = 32, kReplyEntries = 72;
// Interfaces whose counters the reply holds.
constexpr uint32_t kCounterInterfaces = 2;
// Offset of the kind word in a device stream record.
constexpr DWORD kEntryKind = 2748;
// The largest N whose enlarged reply size still fits a size word.
constexpr uint32_t kMaxStreams = (0xFFFFFFFFu - kReplyBytes) / kDeviceEntryBytes;

// How a field is read from the device record.
enum SourceWidth : BYTE {
    kNone,      // not written for this kind
    kU32,       // u32
    kU16,       // u16, zero-extended into a u32 destination
    kLowU16,    // the low 16 bits of a u32
    kBytes256,  // 256 bytes copied unchanged
};

struct Source {
    SourceWidth width;
    WORD offset;
};

// One field of the caller's entry: where it goes, how wide it is there, and
// its source for entry kinds 1 and 2 and for every other kind.
struct DiagnosticsField {
    WORD destination;
    WORD destinationBytes;  // 4, 2 or 256
    Source kind1;
    Source kind2;
    Source other;
};

constexpr Source None{kNone, 0};
constexpr Source U32(WORD offset) { return {kU32, offset}; }
constexpr Source U16(WORD offset) { return {kU16, offset}; }
constexpr Source LowU16(WORD offset) { return {kLowU16, offset}; }
constexpr Source Bytes256(WORD offset) { return {kBytes256, offset}; }

// The conversion of a device stream record into a caller's entry. Entry
// offset 0 and every field without a source keep what the caller put there.
constexpr DiagnosticsField kDiagnosticsFields[] = {
    {4, 4, U32(0), U32(0), U32(0)},
    {8, 4, U32(40), U32(552), None},
    {12, 4, U32(32), U32(544), None},
    {16, 4, U32(36), U32(548), None},
    {20, 4, U32(28), U32(540), None},
    {24, 4, U16(16), U16(556), None},
    {28, 4, U16(18), U16(558), None},
    {32, 4, U32(48), None, None},
    {36, 4, U32(52), None, None},
    {40, 4, U32(56), None, None},
    {44, 4, U32(60), None, None},
    {48, 4, U32(508), None, None},
    {52, 4, U32(512), None, None},
    {56, 4, U32(68), None, None},
    {60, 4, U32(64), None, None},
    {64, 4, U32(496), None, None},
    {68, 4, U32(504), None, None},
    {72, 4, U32(4), None, None},
    {76, 4, U32(2736), None, None},
    {80, 4, U32(2740), None, None},
    {84, 4, U32(2744), U32(2744), U32(2744)},
    {88, 4, U32(kEntryKind), U32(kEntryKind), U32(kEntryKind)},
    {92, 4, None, U32(2684), None},
    {96, 4, None, U32(2672), None},
    {100, 4, None, U32(2676), None},
    {104, 4, None, U32(2680), None},
    {108, 4, U32(156), None, None},
    {112, 256, Bytes256(164), None, None},
    {372, 4, U32(84), None, None},
    {376, 4, U32(88), None, None},
    {380, 4, U32(100), None, None},
    {384, 4, U32(104), None, None},
    {388, 4, U32(128), U32(2708), None},
    {392, 2, U16(136), U16(2716), None},
    {394, 2, LowU16(108), U16(2692), None},
};

constexpr bool FieldsFit() {
    for (const DiagnosticsField& f : kDiagnosticsFields) {
        if (f.destination + f.destinationBytes > sizeof(VKSSTREAMDIAGNOSTICS)) return false;
        for (const Source& s : {f.kind1, f.kind2, f.other}) {
            const DWORD bytes = s.width == kBytes256 ? 256 : s.width == kU16 ? 2 : 4;
            if (s.width != kNone && s.offset + bytes > kDeviceEntryBytes) return false;
            if ((s.width == kBytes256) != (s.width != kNone && f.destinationBytes == 256)) return false;
        }
    }
    return true;
}
static_assert(FieldsFit(), "every conversion field lies inside both records");

DWORD ReadSource(const BYTE* entry, Source source) {
    switch (source.width) {
        case kU32: return ReadU32(entry, source.offset);
        case kU16: {
            WORD v;
            std::memcpy(&v, entry + source.offset, sizeof(v));
            return v;
        }
        case kLowU16: return ReadU32(entry, source.offset) & 0xFFFFu;
        default: return 0;
    }
}

// Converts one device stream record into one caller entry.
void ConvertEntry(const BYTE* entry, VKSSTREAMDIAGNOSTICS* out) {
    BYTE* destination = reinterpret_cast<BYTE*>(out);
    const DWORD kind = ReadU32(entry, kEntryKind);
    for (const DiagnosticsField& field : kDiagnosticsFields) {
        const Source source = kind == 1 ? field.kind1 : kind == 2 ? field.kind2 : field.other;
        if (source.width == kNone) continue;
        if (source.width == kBytes256) {
            std::memcpy(destination + field.destination, entry + source.offset, field.destinationBytes);
        } else if (field.destinationBytes == 2) {
            const WORD v = static_cast<WORD>(ReadSource(entry, source));
            std::memcpy(destination + field.destination, &v, sizeof(v));
        } else {
            WriteU32(destination, field.destination, ReadSource(entry, source));
        }
    }
}

// The enlarged command and the working record of one diagnostics call.
struct DiagnosticsBuffers {
    BYTE* working = nullptr;
    BYTE* request = nullptr;
    BYTE* reply = nullptr;
    ~DiagnosticsBuffers() {
        std::free(working);
        std::free(request);
        std::free(reply);
    }
};

// Builds the command for N streams; false when memory is short.
bool AllocateDiagnostics(uint32_t streams, DiagnosticsBuffers* b, DWORD* requestBytes, DWORD* replyBytes) {
    const DWORD extra = kDeviceEntryBytes * streams;
    const DWORD workingBytes = kWorkingBaseBytes + extra;
    *requestBytes = kRequestBytes + extra;
    *replyBytes = kReplyBytes + extra;
    b->working = static_cast<BYTE*>(std::calloc(1, workingBytes));
    if (b->working == nullptr) return false;
    WriteU32(b->working, 0, workingBytes);
    WriteU32(b->working, 4, streams);
    b->request = static_cast<BYTE*>(std::calloc(1, *requestBytes));
    b->reply = static_cast<BYTE*>(std::calloc(1, *replyBytes));
    if (b->request == nullptr || b->reply == nullptr) return false;
    std::memcpy(b->request, kRequestTemplate.Bytes, kRequestBytes);
    std::memcpy(b->reply, kReplyTemplate.Bytes, kReplyBytes);
    WriteU32(b->request, kReqSize, *requestBytes);
    WriteU32(b->reply, kRepSize, *replyBytes);
    for (BYTE* packet : {b->request, b->reply}) {
        WriteU32(packet, kWorkingSizeWord, workingBytes);
        WriteU32(packet, kStreamCountWord, streams);
    }
    return true;
}

// The caller's output arrays must be there for what was asked, and the device
// reports counters of two interfaces only.
VKSERROR CheckRequest(const VKSNETWORKDIAGNOSTICS* d) {
    if (d->NumInterfaces > kCounterInterfaces) return VKSERROR_INVALID_ARGUMENT;
    if (d->NumInterfaces != 0 && (d->pFirstCounters == nullptr || d->pSecondCounters == nullptr)) {
        return VKSERROR_INVALID_ARGUMENT;
    }
    if (d->NumStreams != 0 && d->pStreams == nullptr) return VKSERROR_INVALID_ARGUMENT;
    // A count whose enlarged packets could not be described by their size words.
    if (d->NumStreams > kMaxStreams) return VKSERROR_INSUFFICIENT_MEMORY;
    return VKSERROR_NO_ERROR;
}

}  // namespace

extern "C" VKSERROR VKSAPI VKSNetworkStreamGetDiagnostics(uint32_t DecoderIndex, VKSNETWORKDIAGNOSTICS* pDiagnostics) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, DecoderIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    if (pDiagnostics == nullptr) return VKSERROR_INVALID_ARGUMENT;
    const VKSERROR checked = CheckRequest(pDiagnostics);
    if (checked != VKSERROR_NO_ERROR) return checked;

    const uint32_t streams = pDiagnostics->NumStreams;
    const uint32_t interfaces = pDiagnostics->NumInterfaces;
    DiagnosticsBuffers buffers;
    DWORD requestBytes = 0, replyBytes = 0;
    if (!AllocateDiagnostics(streams, &buffers, &requestBytes, &replyBytes)) return VKSERROR_INSUFFICIENT_MEMORY;

    HANDLE file = nullptr;
    const VKSERROR opened = NetworkDeviceFileOpen(device, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = DeviceIoctlSync(file, IOCTL_VKS_NETWORK_GET_DIAGNOSTICS, buffers.request, requestBytes,
                                            buffers.reply, replyBytes);
    if (status == VKSERROR_NO_ERROR) {
        std::memcpy(buffers.working + kWorkingCounters, buffers.reply + kReplyCounters, kReplyCounterBytes);
        for (uint32_t k = 0; k < streams; ++k) {
            std::memcpy(buffers.working + kWorkingEntries + kDeviceEntryBytes * k,
                        buffers.reply + kReplyEntries + kDeviceEntryBytes * k, kDeviceEntryBytes);
        }
        for (uint32_t k = 0; k < interfaces; ++k) {
            pDiagnostics->pFirstCounters[k] = ReadU64(buffers.working, kWorkingCounters + 8 * k);
            pDiagnostics->pSecondCounters[k] = ReadU64(buffers.working, kWorkingCounters + 16 + 8 * k);
        }
        for (uint32_t k = 0; k < streams; ++k) {
            ConvertEntry(buffers.working + kWorkingEntries + kDeviceEntryBytes * k, &pDiagnostics->pStreams[k]);
        }
    }
    DeviceFileClose(file);
    return status;
}
