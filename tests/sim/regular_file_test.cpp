// CreateFileW and the file calls on regular files.
#include "sim_fixture.h"

#include <cstdio>
#include <unistd.h>

namespace {

class RegularFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vks_file_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "0123456789", 10), 10);
        close(fd);
        path_ = name;
        wide_.assign(path_.begin(), path_.end());
    }
    void TearDown() override { unlink(path_.c_str()); }
    std::string path_;
    std::u16string wide_;
};

// Reading from the start, to the end, seeking from the start and a negative
// seek are the file feeding tests' (through the library); the size is the
// stream address tests'.
TEST_F(RegularFile, SeekFromTheEndAndNoDeviceControl) {
    HANDLE h = CreateFileW(wide_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER to{}, at{};
    to.QuadPart = -2;
    ASSERT_TRUE(SetFilePointerEx(h, to, &at, FILE_END));
    EXPECT_EQ(at.QuadPart, 8);
    char buffer[8] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, buffer, 8, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "89");
    EXPECT_FALSE(DeviceIoControl(h, 0x22C404, nullptr, 0, nullptr, 0, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(RegularFile, MissingFilesAndFolders) {
    EXPECT_EQ(CreateFileW(u"/tmp/vks-no-such-file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileW(u"/tmp/vks-no-such-folder/file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(CreateFileW(wide_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
}

TEST_F(RegularFile, OverlappedReadReportsThroughThePort) {
    HANDLE h = CreateFileW(wide_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    HANDLE port = CreateIoCompletionPort(h, nullptr, 5, 0);
    ASSERT_NE(port, nullptr);
    OVERLAPPED ov{};
    ov.Offset = 6;
    char buffer[8];
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, buffer, 8, &n, &ov));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port, &n, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(key, 5u);
    EXPECT_FALSE(ReadFile(h, buffer, 8, &n, nullptr));  // an overlapped handle needs an OVERLAPPED
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(h);
    CloseHandle(port);
}

}  // namespace
