// CreateFileW and the file calls on regular files (reading local stream
// files and descriptions). Paths are UTF-16 with either separator.
#include "device_io_internal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vks::kernel;

namespace vks::devices {

namespace {

class RegularFile final : public FileObject {
public:
    RegularFile(int descriptor, bool isOverlapped) : fd(descriptor), overlapped(isOverlapped) {}
    const char* TypeName() const noexcept override { return "File"; }
    const int fd;
    const bool overlapped;

protected:
    ~RegularFile() override { ::close(fd); }
};

bool IsDevicePath(LPCWSTR name) {
    return name[0] == u'\\' && name[1] == u'\\' && (name[2] == u'?' || name[2] == u'.') && name[3] == u'\\';
}

// UTF-16 to UTF-8, backslashes as slashes. False on an unpaired surrogate.
bool ToPath(LPCWSTR name, std::string* out) {
    for (const char16_t* p = name; *p; ++p) {
        uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (p[1] < 0xDC00 || p[1] > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c == u'\\') c = u'/';
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

DWORD ErrorFromErrno(int e, const std::string& path) {
    switch (e) {
    case ENOENT: {
        // A missing folder on the way is a missing path, as Windows tells them apart.
        size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash != 0) {
            struct stat st;
            if (::stat(path.substr(0, slash).c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
        }
        return ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE: return 4L;  // ERROR_TOO_MANY_OPEN_FILES
    case ENAMETOOLONG: return 206L;  // ERROR_FILENAME_EXCED_RANGE
    case ENOSPC: return 112L;  // ERROR_DISK_FULL
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_GEN_FAILURE;
    }
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenRegularFile(LPCWSTR name, DWORD access, DWORD disposition, DWORD flags) {
    std::string path;
    if (!ToPath(name, &path) || path.empty()) return Fail(path.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    const bool read = (access & (GENERIC_READ | GENERIC_ALL | 0x0001u)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL | 0x0002u | 0x0004u)) != 0;
    int oflags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    struct stat st;
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    switch (disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (!write) return Fail(ERROR_INVALID_PARAMETER);
        oflags |= O_TRUNC;
        break;
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
    int fd;
    do {
        fd = ::open(path.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail(ErrorFromErrno(errno, path));
    Ref<RegularFile> file = Ref<RegularFile>::Adopt(new RegularFile(fd, (flags & FILE_FLAG_OVERLAPPED) != 0));
    HANDLE handle = InsertHandle(file.get());
    if (!handle) return INVALID_HANDLE_VALUE;
    // Opening an existing file with a creating disposition says so.
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
    return handle;
}

enum class Transfer { Read, Write };

BOOL DoTransfer(Transfer kind, HANDLE h, void* buffer, DWORD count, LPDWORD done, LPOVERLAPPED ov) {
    Ref<KernelObject> object = ReferenceHandle(h);
    if (!object) return FALSE;
    auto* file = dynamic_cast<RegularFile*>(object.get());
    if (!file) {
        SetLastError(dynamic_cast<FileObject*>(object.get()) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (file->overlapped && !ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (count && !buffer) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const off_t offset = ov ? static_cast<off_t>((static_cast<uint64_t>(ov->OffsetHigh) << 32) | ov->Offset) : 0;
    size_t total = 0;
    DWORD error = ERROR_SUCCESS;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (total < count) {
        ssize_t n;
        if (kind == Transfer::Read)
            n = ov ? ::pread(file->fd, bytes + total, count - total, offset + static_cast<off_t>(total))
                   : ::read(file->fd, bytes + total, count - total);
        else
            n = ov ? ::pwrite(file->fd, bytes + total, count - total, offset + static_cast<off_t>(total))
                   : ::write(file->fd, bytes + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = ErrorFromErrno(errno, std::string());
            break;
        }
        if (n == 0) break;  // end of file
        total += static_cast<size_t>(n);
    }
    // An overlapped read that starts at or past the end fails, as Windows' does.
    if (error == ERROR_SUCCESS && kind == Transfer::Read && ov && total == 0 && count != 0) error = ERROR_HANDLE_EOF;
    if (done) *done = error == ERROR_SUCCESS ? static_cast<DWORD>(total) : 0;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (ov) {
        // Finished at once; an overlapped handle still reports it through its
        // event and completion port.
        BeginOverlapped(file, ov);
        CompleteOverlapped(file, ov, ERROR_SUCCESS, total);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

Ref<RegularFile> Regular(HANDLE h) {
    Ref<KernelObject> object = ReferenceHandle(h);
    if (!object) return nullptr;
    if (auto* f = dynamic_cast<RegularFile*>(object.get())) {
        object.Detach();
        return Ref<RegularFile>::Adopt(f);
    }
    SetLastError(dynamic_cast<FileObject*>(object.get()) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace

}  // namespace vks::devices

using namespace vks::devices;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
    if (!*lpFileName) return Fail(ERROR_PATH_NOT_FOUND);
    if (IsDevicePath(lpFileName)) return OpenDeviceFile(lpFileName, dwFlagsAndAttributes);
    return OpenRegularFile(lpFileName, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    return DoTransfer(Transfer::Read, hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
    return DoTransfer(Transfer::Write, hFile, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite,
                      lpNumberOfBytesWritten, lpOverlapped);
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod) {
    Ref<RegularFile> file = Regular(hFile);
    if (!file) return FALSE;
    int whence = dwMoveMethod == FILE_BEGIN ? SEEK_SET : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                                                     : dwMoveMethod == FILE_END   ? SEEK_END
                                                                                  : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    off_t base = 0;
    if (whence == SEEK_CUR) {
        base = ::lseek(file->fd, 0, SEEK_CUR);
    } else if (whence == SEEK_END) {
        struct stat st;
        base = ::fstat(file->fd, &st) == 0 ? st.st_size : -1;
    }
    if (base < 0 || base + liDistanceToMove.QuadPart < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return FALSE;
    }
    off_t position = ::lseek(file->fd, base + liDistanceToMove.QuadPart, SEEK_SET);
    if (position < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpNewFilePointer) lpNewFilePointer->QuadPart = position;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    Ref<RegularFile> file = Regular(hFile);
    if (!file) return FALSE;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno, std::string()));
        return FALSE;
    }
    lpFileSize->QuadPart = st.st_size;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
