#include "files.h"

#include "os.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vksctl {

std::string ReadableFileProblem(const std::string& what, const std::string& path) {
    struct stat st;
    const std::string named = what + " " + path;
    if (::stat(path.c_str(), &st) != 0)
        return errno == EACCES ? named + ": permission denied" : named + " does not exist";
    if (S_ISDIR(st.st_mode)) return named + " is a folder, not a file";
    if (!S_ISREG(st.st_mode)) return named + " is not a regular file";
    if (::access(path.c_str(), R_OK) != 0) return named + ": permission denied";
    return {};
}

std::string WritableFileProblem(const std::string& what, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return what + " " + path + " is a folder, not a file";
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "cannot write " + what + " " + path + ": folder " + folder + " does not exist";
    if (::access(folder.c_str(), W_OK) != 0) return "cannot write " + what + " " + path + ": permission denied";
    return {};
}

std::string AbsolutePath(const std::string& path) { return os::AbsolutePath(path); }

}  // namespace vksctl
