#include "device_groups.h"

#include "session.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace vksctl {

namespace {

std::string InfoText(VKSERROR(VKSAPI* getInfo)(uint32_t, VKSINFOA*), uint32_t index) {
    VKSINFOA info;
    std::memset(&info, 0, sizeof info);
    info.Size = sizeof info;
    if (getInfo(index, &info) != VKSERROR_NO_ERROR) return "(unknown device)";
    info.Text[sizeof info.Text - 1] = 0;
    return info.Text;
}

DeviceGroup& GroupNamed(std::vector<DeviceGroup>& groups, const std::string& name) {
    for (DeviceGroup& g : groups)
        if (g.name == name) return g;
    groups.push_back(DeviceGroup{name, {}, {}, {}});
    return groups.back();
}

}  // namespace

std::vector<DeviceGroup> GroupDevices() {
    std::vector<DeviceGroup> groups;
    for (uint32_t i = 0, n = CountOf(VKSDEVICETYPE_DECODER); i < n; ++i)
        GroupNamed(groups, InfoText(VKSDecoderGetInfoA, i)).decoders.push_back(i);
    for (uint32_t i = 0, n = CountOf(VKSDEVICETYPE_ENCODER); i < n; ++i)
        GroupNamed(groups, InfoText(VKSEncoderGetInfoA, i)).encoders.push_back(i);
    for (uint32_t i = 0, n = CountOf(VKSDEVICETYPE_NETWORK); i < n; ++i)
        GroupNamed(groups, InfoText(VKSNetworkPortGetInfoA, i)).ports.push_back(i);
    return groups;
}

std::string JoinWords(const std::vector<uint32_t>& words) {
    std::string text;
    for (uint32_t w : words) {
        if (!text.empty()) text += ' ';
        text += std::to_string(w);
    }
    return text;
}

DeviceIdentity IdentityOf(const VKSINFOA& info) {
    DeviceIdentity id;
    const auto words = Words(info.DeviceData);
    const auto words2 = Words(info.DeviceData2);
    // The size word says how much of the record the device filled.
    auto filled = [&](size_t offset) { return info.Size >= offset + 4; };
    char text[64];
    if (filled(4 + 7 * 4)) {
        std::snprintf(text, sizeof text, "0x%08X", words[7]);
        id.serial = text;
    }
    if (filled(4 + 5 * 4)) {
        std::snprintf(text, sizeof text, "%u.%u", words[5] >> 16, words[5] & 0xFFFF);
        id.firmware = text;
    }
    if (filled(offsetof(VKSINFOA, DeviceData2) + 4)) {
        std::snprintf(text, sizeof text, "PCI bus %u, slot %u", words2[0], words2[1]);
        id.location = text;
    }
    return id;
}

DeviceIdentity DecoderIdentity(uint32_t decoder) {
    VKSINFOA info;
    std::memset(&info, 0, sizeof info);
    info.Size = sizeof info;
    if (VKSDecoderGetInfoA(decoder, &info) != VKSERROR_NO_ERROR) return {};
    return IdentityOf(info);
}

}  // namespace vksctl
