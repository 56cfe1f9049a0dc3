#include "feed_progress.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vksctl {

namespace {

std::string LinkOf(int fd) {
    char link[64], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = 0;
    return target;
}

bool PositionOf(int fd, uint64_t* position) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
    FILE* f = std::fopen(path, "r");
    if (!f) return false;
    char line[128];
    bool found = false;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "pos:", 4) == 0) {
            *position = std::strtoull(line + 4, nullptr, 10);
            found = true;
            break;
        }
    std::fclose(f);
    return found;
}

}  // namespace

FeedProgress::FeedProgress(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) realPath_ = resolved;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
}

bool FeedProgress::Tracked() const { return true; }

uint64_t FeedProgress::BytesFed() {
    if (realPath_.empty()) return last_;
    if (fd_ >= 0 && LinkOf(fd_) != realPath_) fd_ = -1;  // closed, or the number reused
    if (fd_ < 0) {
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir) return last_;
        while (dirent* entry = ::readdir(dir)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] == '.' || fd == ::dirfd(dir)) continue;
            if (LinkOf(fd) == realPath_) {
                fd_ = fd;
                break;
            }
        }
        ::closedir(dir);
    }
    uint64_t position = 0;
    if (fd_ >= 0 && PositionOf(fd_, &position) && position > last_) last_ = position;
    return last_;
}

}  // namespace vksctl
