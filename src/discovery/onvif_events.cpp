// ONVIF device records carried by custom device-change events: written to the
// log at TRACE level, field by field, and passed nowhere else.
#include "discovery/onvif_events.h"

#include "core/log.h"

#include <cstring>

namespace {

// Offsets within the event data (the part of the broadcast record after its
// 52-byte header).
constexpr DWORD kXAddrs = 0, kXAddrsBytes = 256;
constexpr DWORD kManufacturer = 256;
constexpr DWORD kModel = 384;
constexpr DWORD kFirmwareVersion = 512;
constexpr DWORD kSerialNumber = 640;
constexpr DWORD kHardwareId = 768;
constexpr DWORD kShortTextBytes = 128;
constexpr DWORD kProfileCount = 896;  // u32
constexpr DWORD kProfiles = 900;
constexpr DWORD kProfileNameBytes = 128, kProfileValueBytes = 256;
constexpr DWORD kProfileBytes = kProfileNameBytes + kProfileValueBytes;

// A text field of the record as a terminated string: the device's fields
// need not carry their terminator inside the field.
struct FieldText {
    char text[kXAddrsBytes + 1];
};

FieldText Field(const BYTE* record, DWORD offset, DWORD bytes) {
    FieldText field;
    const char* start = reinterpret_cast<const char*>(record + offset);
    const size_t length = strnlen(start, bytes);
    std::memcpy(field.text, start, length);
    field.text[length] = 0;
    return field;
}

}  // namespace

void LogOnvifDeviceRecord(const BYTE* record, DWORD bytes) {
    if (record == nullptr || bytes < kProfiles) {
        LogWarning(WSTR("NotificationWindowProc: ONVIF device event too short (%u bytes)\n"), bytes);
        return;
    }
    DWORD profiles;
    std::memcpy(&profiles, record + kProfileCount, sizeof(profiles));
    LogTrace(WSTR("Found ONVIF device with %d profiles\n"), static_cast<int>(profiles));
    LogTrace(WSTR("XAddrs: %hs\n"), Field(record, kXAddrs, kXAddrsBytes).text);
    LogTrace(WSTR("Manufacturer: %hs\n"), Field(record, kManufacturer, kShortTextBytes).text);
    LogTrace(WSTR("Model: %hs\n"), Field(record, kModel, kShortTextBytes).text);
    LogTrace(WSTR("FirmwareVersion: %hs\n"), Field(record, kFirmwareVersion, kShortTextBytes).text);
    LogTrace(WSTR("SerialNumber: %hs\n"), Field(record, kSerialNumber, kShortTextBytes).text);
    LogTrace(WSTR("HardwareId: %hs\n"), Field(record, kHardwareId, kShortTextBytes).text);

    // Only the profiles that lie inside the record are read; the count is
    // compared in 64 bits so that no product of it can wrap.
    const ULONGLONG present = (static_cast<ULONGLONG>(bytes) - kProfiles) / kProfileBytes;
    const ULONGLONG shown = profiles < present ? profiles : present;
    for (ULONGLONG i = 0; i < shown; ++i) {
        const DWORD at = kProfiles + static_cast<DWORD>(i) * kProfileBytes;
        LogTrace(WSTR("   %hs: %hs\n"), Field(record, at, kProfileNameBytes).text,
                 Field(record, at + kProfileNameBytes, kProfileValueBytes).text);
    }
    if (shown < profiles) {
        LogWarning(WSTR("NotificationWindowProc: ONVIF device event holds %u of %u profiles\n"),
                   static_cast<DWORD>(shown), profiles);
    }
}
