#include "device_groups.h"

#include "session.h"

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

}  // namespace vksctl
