// What vksctl needs from the operating system beyond the library: files and
// folders, its own location, the environment the library reads, a terminal
// check. os_posix.cpp and os_windows.cpp hold the two implementations (and
// the stop handling declared in session.h).
#pragma once

#include <string>

namespace vksctl::os {

bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
// The folder of the running program.
std::string ExecutableDirectory();
// The absolute, normalised form of an existing path; empty otherwise.
std::string RealPath(const std::string& path);
// Makes an empty temporary file; its name, or empty (with `error` set).
std::string MakeTemporaryFile(std::string* error);
// Sets a variable of the process environment; a null value removes it.
void SetEnvironment(const char* name, const char* value);
// Makes the stand-in libraries in `folder` the ones the library loads.
void UseStandinFolder(const std::string& folder);
bool StandardOutputIsTerminal();

}  // namespace vksctl::os
