// Loading the simulator as the machine's driver: with VKS_SIM_CONFIG set and
// VKS_DRIVERS unset, the first use of the setup API loads "vkssim", whose
// devices then answer. This program does not link the simulator; the
// platform layer finds it by module name. Each test runs in its own process
// under ctest, and the drivers are loaded once per process, so the
// environment is set before the first platform call.
#include "vks_platform.h"
#include "vkssim/protocol.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const GUID kClass = VKSSIM_INTERFACE_CLASS_INIT;

TEST(Loader, SimulatorLoadsFromTheConfiguration) {
    unsetenv("VKS_DRIVERS");
    setenv("VKS_SIM_CONFIG", VKSSIM_DEFAULT_CONFIG, 1);
    HDEVINFO set = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    DWORD decoders[2] = {};
    for (DWORD i = 0; i < 2; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, i, &data));
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        std::vector<uint8_t> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof *detail;
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
        std::u16string name = std::u16string(detail->DevicePath) + VKSSIM_FILE_SUFFIX;
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::vector<uint8_t> request(VKSSIM_REQUEST_SIZE), reply(VKSSIM_REPLY_SIZE);
        uint32_t words[] = {VKSSIM_REQUEST_SIZE, VKSSIM_TYPE_DECODER, 0, 0, 0, VKSSIM_FORMAT_WORD, 8};
        std::memcpy(request.data(), words, sizeof words);
        DWORD bytes = 0;
        ASSERT_TRUE(DeviceIoControl(h, VKSSIM_IOCTL_GET_INPUT_COUNT, request.data(), VKSSIM_REQUEST_SIZE, reply.data(),
                                    VKSSIM_REPLY_SIZE, &bytes, nullptr));
        std::memcpy(&decoders[i], &reply[28], 4);
        CloseHandle(h);
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 2, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(decoders[0], 2u);
    EXPECT_EQ(decoders[1], 4u);
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace
