// The setup API over the simulator's device interfaces.
#include "sim_fixture.h"

using namespace simtest;

namespace {

class SetupApi : public SimTest {};

TEST_F(SetupApi, DetailSizeQueryAndWrongSizes) {
    ASSERT_EQ(AddDevice(), 0);
    HDEVINFO set = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 24;  // a 32-bit layout
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));

    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 4 + (vkssim::InterfacePath(0).size() + 1) * 2);

    std::vector<uint8_t> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = required;  // the whole size instead of the fixed part
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    detail->cbSize = 8;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 2, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);

    SP_DEVINFO_DATA devinfo{};
    devinfo.cbSize = 28;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    devinfo.cbSize = sizeof devinfo;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo));

    DWORD size = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_LOCATION_INFORMATION, nullptr, nullptr, 0,
                                                   &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, (vkssim::Location(0).size() + 1) * 2);
    BYTE text[512];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_FRIENDLYNAME, nullptr, text, sizeof text,
                                                   nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(SetupApi, SetIsASnapshotAndRemovedDevicesCannotBeOpened) {
    ASSERT_EQ(AddDevice(), 0);
    ASSERT_EQ(AddDevice(), 1);
    HDEVINFO before = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_TRUE(vkssim::RemoveDevice(0));
    HDEVINFO after = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(before, nullptr, &kClass, 1, &data));
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 0, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 1, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(Open(0, false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_NE(Open(1, false), INVALID_HANDLE_VALUE);
    SetupDiDestroyDeviceInfoList(before);
    SetupDiDestroyDeviceInfoList(after);
}

}  // namespace
