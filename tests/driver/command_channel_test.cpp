// The command channel's issuing rules against the simulated driver.
#include "driver/command_channel.h"
#include "driver/completion_port.h"
#include "objects/user_handle.h"
#include "vks_win32/linux_ext.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CommandChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        vkssim::Reset();
        vkssim::AddDevice(vkssim::DeviceConfig{});
        const std::u16string path = vkssim::InterfacePath(0);
        for (HANDLE* file : {&sync_, &overlapped_}) {
            ASSERT_EQ(DeviceFileOpen(path.c_str(), file, file == &overlapped_, VKS_DEVICE_SUFFIX), VKSERROR_NO_ERROR);
        }
        port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
        ASSERT_NE(CreateIoCompletionPort(overlapped_, port_, 7, 0), nullptr);
    }
    void TearDown() override {
        CloseHandle(sync_);
        CloseHandle(overlapped_);
        CloseHandle(port_);
        vkssim::Reset();
    }

    VKSERROR SendOverlapped(DWORD code) {
        OVIOCTL* block = AllocOvIoctl(code);
        CommandRequest request = kRequestTemplate;
        WriteU32(request.Bytes, kReqType, VKSDEVICETYPE_NETWORK);
        return DeviceIoctlOverlapped(overlapped_, block, code, request.Bytes, kRequestBytes, block->Reply,
                                     kReplyBytes);
    }
    // Takes one completion off the port and frees its block.
    bool DrainOne(DWORD timeoutMs) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* ov = nullptr;
        GetQueuedCompletionStatus(port_, &bytes, &key, &ov, timeoutMs);
        if (ov == nullptr) return false;
        EXPECT_EQ(key, 7u);
        FreeOvIoctl(OvIoctlFromOverlapped(ov));
        return true;
    }

    HANDLE sync_ = nullptr;
    HANDLE overlapped_ = nullptr;
    HANDLE port_ = nullptr;
};

TEST_F(CommandChannelTest, MissingDevicesObjectsAndRepliesFailBeforeTheDriver) {
    HANDLE file = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(DeviceFileOpen(WSTR("\\\\?\\nothing#here"), &file, FALSE, VKS_DEVICE_SUFFIX), VKSERROR_DRIVER_NOT_FOUND);
    EXPECT_EQ(file, reinterpret_cast<HANDLE>(0x1234));  // left untouched
    EXPECT_EQ(DeviceFileClose(nullptr), VKSERROR_INVALID_ARGUMENT);
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        EXPECT_EQ(DeviceIoctlSync(none, IOCTL_VKS_GET_INPUT_COUNT, request.Bytes, kRequestBytes, reply.Bytes,
                                  kReplyBytes),
                  VKSERROR_DRIVER_NOT_FOUND);
    }
    // A missing file, object or reply (a closed client's refusal before
    // sending is the accessor tests').
    UserHandle object{};
    object.HVKSHandle = 5;
    EXPECT_EQ(HandleIoctlSync(&object, IOCTL_VKS_SET_STATE, request.Bytes, reply.Bytes), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(HandleIoctlSync(nullptr, IOCTL_VKS_SET_STATE, request.Bytes, reply.Bytes), VKSERROR_INVALID_ARGUMENT);
    object.hDevice = sync_;
    EXPECT_EQ(HandleIoctlSync(&object, IOCTL_VKS_SET_STATE, request.Bytes, nullptr), VKSERROR_INVALID_ARGUMENT);
}

TEST_F(CommandChannelTest, OverlappedMappingOfWindowsFailures) {
    // A request held by the driver is pending: accepted, and it completes later.
    EXPECT_EQ(SendOverlapped(IOCTL_VKS_DEVICE_SET_NOTIFY), VKSERROR_NO_ERROR);
    EXPECT_FALSE(DrainOne(0));
    const std::pair<DWORD, VKSERROR> cases[] = {{0, VKSERROR_UNEXPECTED},
                                                {ERROR_NOACCESS, VKSERROR_NOACCESS},
                                                {ERROR_NO_SYSTEM_RESOURCES, VKSERROR_INSUFFICIENT_MEMORY},
                                                {ERROR_GEN_FAILURE, VKSERROR_ILLEGAL_CALL}};
    for (const auto& [error, expected] : cases) {
        vkssim::FailWithWin32Error(IOCTL_VKS_GET_INPUT_COUNT, error, 1);
        EXPECT_EQ(SendOverlapped(IOCTL_VKS_GET_INPUT_COUNT), expected) << error;
    }
    EXPECT_FALSE(DrainOne(0));  // failures at once queue nothing (and freed their blocks)
    // Done at once: accepted, and its completion is queued all the same.
    EXPECT_EQ(SendOverlapped(IOCTL_VKS_GET_INPUT_COUNT), VKSERROR_NO_ERROR);
    EXPECT_TRUE(DrainOne(5000));
    EXPECT_EQ(DeviceIoctlOverlapped(nullptr, AllocOvIoctl(1), 1, nullptr, 0, nullptr, 0), VKSERROR_DRIVER_NOT_FOUND);
    // The held notification ends when the file goes away.
    CloseHandle(overlapped_);
    overlapped_ = nullptr;
    EXPECT_TRUE(DrainOne(5000));
}

// Stands in for a completion thread that takes its stop packet just as a late
// request completes: the late completion lands behind it.
DWORD WINAPI StopThenLateCompletion(LPVOID portHandle) {
    HANDLE port = static_cast<HANDLE>(portHandle);
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* ov = nullptr;
    while (GetQueuedCompletionStatus(port, &bytes, &key, &ov, INFINITE) && key != 0) {
    }
    OVIOCTL* late = AllocOvIoctl(IOCTL_VKS_DEVICE_SET_NOTIFY);
    PostQueuedCompletionStatus(port, kReplyBytes, 5, &late->Overlapped);
    return 0;
}

}  // namespace

// Run under LeakSanitizer this fails if the late block is not released.
TEST(CompletionPortTest, CompletionsLeftBehindTheStopPacketAreReleased) {
    COMPLETION_PORT port{};
    ASSERT_EQ(InitialiseCompletionPort(&port, StopThenLateCompletion, 1), VKSERROR_NO_ERROR);
    const DWORD before = VksOpenHandleCount();
    EXPECT_EQ(UninitialiseCompletionPort(&port), VKSERROR_NO_ERROR);
    EXPECT_EQ(port.hPort, nullptr);
    EXPECT_EQ(VksOpenHandleCount(), before - 2);  // the port and its thread
}
