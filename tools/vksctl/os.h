// What vksctl needs from the operating system beyond the library: files and
// folders, its own and the library's location, loading a module to check
// it, the environment the library reads. os_posix.cpp and os_windows.cpp
// hold the two implementations, and with them the stop handling and the
// main thread's wait declared in session.h.
#pragma once

#include <string>

namespace vksctl::os {

// Separates the folders of VKS_DLL_PATH and the modules of VKS_DRIVERS.
extern const char kListSeparator;

bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
// The folder of the running program, and that of the module holding the
// library.
std::string ExecutableDirectory();
std::string LibraryDirectory();
// The absolute, normalised form of an existing path; empty otherwise.
std::string RealPath(const std::string& path);
// `path` made absolute against the current folder (not normalised).
std::string AbsolutePath(const std::string& path);
// Makes an empty temporary file; its name, or empty (with `error` set).
std::string MakeTemporaryFile(std::string* error);
// Sets a variable of the process environment; a null value removes it.
void SetEnvironment(const char* name, const char* value);

// The file name of a module named as the platform names it ("name",
// "name.dll" or "libname.so"), or the name when it already is one.
std::string ModuleFileName(const std::string& name);
// Loads a module without running its code where the platform allows it;
// null with `error` set when it cannot be loaded.
void* LoadModule(const std::string& path, std::string* error);
void* ModuleSymbol(void* module, const char* name);
void UnloadModule(void* module);
// A function exported by a module the process has loaded already (the
// platform layer), or null.
void* LoadedSymbol(const char* name);
// Makes the library find the stand-in libraries in `folder`, unless the
// user named a folder already (VKS_DLL_PATH on Linux).
void UseStandinFolder(const std::string& folder);

}  // namespace vksctl::os
