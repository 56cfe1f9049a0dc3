// Windows: the file's size only. How far the library has read is the
// position of a handle inside the library, which the system does not show
// from outside the way Linux does in /proc; the feed is not tracked.
#include "feed_progress.h"

#include <windows.h>

namespace vksctl {

FeedProgress::FeedProgress(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        size_ = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FeedProgress::Tracked() const { return false; }

uint64_t FeedProgress::BytesFed() { return last_; }

}  // namespace vksctl
