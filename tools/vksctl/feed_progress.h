// How far the library has read a played file.
//
// No export reports the feeding of a "file://" stream: the worker thread
// answers the device's requests for data by itself. The library reads the
// file through an ordinary descriptor of this process, so its read position
// (/proc/self/fdinfo) is the number of bytes handed to the device. Where
// the system cannot show it (Windows), the feed is not tracked.
#pragma once

#include <cstdint>
#include <string>

namespace vksctl {

class FeedProgress {
public:
    explicit FeedProgress(const std::string& path);
    // False where BytesFed cannot be known (it stays 0).
    bool Tracked() const;
    // Bytes read so far; the last value seen once the file is closed.
    uint64_t BytesFed();
    uint64_t FileSize() const { return size_; }

private:
    std::string realPath_;
    uint64_t size_ = 0;
    int fd_ = -1;  // the library's descriptor, once found
    uint64_t last_ = 0;
};

}  // namespace vksctl
