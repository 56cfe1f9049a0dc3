// CreateFileW and the file calls on regular files. Reading from the start,
// to the end, seeking from the start and a negative seek are the file feeding
// tests' (through the library); the size is the stream address tests'.
#include "sim_fixture.h"

#include <cstdio>
#include <memory>
#include <unistd.h>

using simtest::FailsWith;

namespace {

TEST(RegularFile, SeekFromTheEndOverlappedReadAndRefusals) {
    char name[] = "/tmp/vks_file_XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::unique_ptr<char, int (*)(const char*)> unlinked(name, unlink);  // unlinks it at the end
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    close(fd);
    const std::u16string path(name, name + std::strlen(name));

    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER to{}, at{};
    to.QuadPart = -2;
    ASSERT_TRUE(SetFilePointerEx(h, to, &at, FILE_END));
    EXPECT_EQ(at.QuadPart, 8);
    char buffer[8] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, buffer, 8, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "89");
    EXPECT_TRUE(FailsWith(DeviceIoControl(h, 0x22C404, nullptr, 0, nullptr, 0, &n, nullptr), ERROR_INVALID_FUNCTION));
    EXPECT_TRUE(CloseHandle(h));

    // An overlapped read completes at once and reports through the port.
    h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    HANDLE port = CreateIoCompletionPort(h, nullptr, 5, 0);
    ASSERT_NE(port, nullptr);
    OVERLAPPED ov{};
    ov.Offset = 6;
    ASSERT_TRUE(ReadFile(h, buffer, 8, &n, &ov));
    EXPECT_EQ(std::string(buffer, n), "6789");
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port, &n, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(key, 5u);
    // An overlapped handle needs an OVERLAPPED.
    EXPECT_TRUE(FailsWith(ReadFile(h, buffer, 8, &n, nullptr), ERROR_INVALID_PARAMETER));
    CloseHandle(h);
    CloseHandle(port);

    const auto opens = [](const char16_t* file, DWORD disposition) {
        return CreateFileW(file, GENERIC_READ, 0, nullptr, disposition, 0, nullptr) != INVALID_HANDLE_VALUE;
    };
    EXPECT_TRUE(FailsWith(opens(u"/tmp/vks-no-such-file", OPEN_EXISTING), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(FailsWith(opens(u"/tmp/vks-no-such-folder/file", OPEN_EXISTING), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(FailsWith(opens(path.c_str(), CREATE_NEW), ERROR_FILE_EXISTS));
}

}  // namespace
