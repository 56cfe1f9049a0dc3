// Checks of the files and folders named on the command line, made before
// anything is opened so that the user gets the real reason in one line.
#pragma once

#include <string>

namespace vksctl {

// "" when `path` is a regular file this process can read; otherwise why not,
// naming the path: "... does not exist", "... is a folder, not a file",
// "...: permission denied".
std::string ReadableFileProblem(const std::string& what, const std::string& path);
// "" when a file can be made at `path` (its folder exists and is writable).
std::string WritableFileProblem(const std::string& what, const std::string& path);
// `path` made absolute against the current folder (not resolved further).
std::string AbsolutePath(const std::string& path);

}  // namespace vksctl
