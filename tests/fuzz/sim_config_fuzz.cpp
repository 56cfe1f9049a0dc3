// The simulator's configuration parser on arbitrary text.
#include "sim_internal.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<vkssim::DeviceConfig> devices;
    std::vector<vkssim::detail::DeviceExtras> extras;
    std::string error;
    vkssim::detail::ParseConfig(std::string(reinterpret_cast<const char*>(data), size), &devices, &error, &extras);
    return 0;
}
