// The devices behind the inputs.
//
// The device-wide exports (health, network queries, discovery) take a
// decoder index and no export names the device an input belongs to; the
// inputs of one device carry the same information text, so vksctl groups
// them by that text.
#pragma once

#include "vksacc.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vksctl {

struct DeviceGroup {
    std::string name;                // the information text
    std::vector<uint32_t> decoders;  // global decoder indexes
    std::vector<uint32_t> encoders;  // global encoder indexes
    std::vector<uint32_t> ports;     // global network port indexes
};

std::vector<DeviceGroup> GroupDevices();

// Decodes a device record as little-endian u32 words (its layout is the
// device's).
template <size_t N>
std::vector<uint32_t> Words(const uint8_t (&bytes)[N]) {
    std::vector<uint32_t> words;
    for (size_t i = 0; i + 4 <= N; i += 4)
        words.push_back(uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 |
                        uint32_t{bytes[i + 3]} << 24);
    return words;
}
std::string JoinWords(const std::vector<uint32_t>& words);

// What the device's information record says about the device, where its
// layout defines it: device data word 5 (offset 24) the firmware version,
// major in the upper half; word 7 (offset 32) the serial number; the second
// block's words 0 and 1 (offsets 564/308 and on) the PCI bus and slot.
// Fields the record is too short to hold stay empty.
struct DeviceIdentity {
    std::string serial;    // "0x5A000001"
    std::string firmware;  // "3.2"
    std::string location;  // "PCI bus 3, slot 0"
};
DeviceIdentity IdentityOf(const VKSINFOA& info);
// The identity of the device of a decoder (empty fields when unknown).
DeviceIdentity DecoderIdentity(uint32_t decoder);

}  // namespace vksctl
