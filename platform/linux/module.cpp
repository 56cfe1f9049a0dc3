// LoadLibraryW and friends over dlopen, and the DllMain stand-in.
//
// "name.dll" maps onto "libname.so". A name without a folder is looked up,
// in order, in: a module already loaded under that name; each folder of
// VKS_DLL_PATH (colon-separated, read at every call); the folder of the
// running executable; the folder of libvksplatform.so. Nothing else: the
// system's search is never used, so a missing library is reliably missing.
// A name with a folder ('/' or '\') is loaded from that folder only.
#include "vks_platform.h"
#include "vks_text_internal.h"

#include <dlfcn.h>
#include <link.h>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct Entry {
    VKS_DLL_ENTRY_PROC proc;
    HMODULE module;
};

struct ModuleState {
    std::recursive_mutex lock;
    std::unordered_map<void*, int> loads;           // references taken by LoadLibraryW
    std::unordered_map<void*, std::string> known;   // every handle handed out, with its path
    std::vector<Entry> entries;
    void* main = nullptr;
};

ModuleState& M() {
    static ModuleState* state = new ModuleState;  // never destroyed: used from other modules' destructors
    return *state;
}

// Depth of LoadLibraryW calls on this thread and whether a DllMain refused
// its attach during the current one.
thread_local int t_loadDepth = 0;
thread_local bool t_attachRefused = false;
std::atomic<bool> g_exiting{false};

void* MainHandle() {
    ModuleState& m = M();
    std::lock_guard<std::recursive_mutex> guard(m.lock);
    if (!m.main) m.main = dlopen(nullptr, RTLD_LAZY);
    return m.main;
}

std::string Utf8(const WCHAR* s) {
    std::string out;
    size_t n = 0;
    while (s[n]) ++n;
    char tmp[4];
    for (size_t i = 0; i < n;) out.append(tmp, vks::text::EncodeUtf8(vks::text::NextCodePoint(s, n, i), tmp));
    return out;
}

std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithI(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && _stricmp(s.c_str() + s.size() - n, suffix) == 0;
}

// "name.dll" and "name" -> "libname.so"; names of shared objects stay.
std::string MapName(const std::string& base) {
    if (EndsWithI(base, ".so") || base.find(".so.") != std::string::npos) return base;
    std::string stem = EndsWithI(base, ".dll") ? base.substr(0, base.size() - 4) : base;
    return "lib" + stem + ".so";
}

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    buf[n] = 0;
    return buf;
}

std::string PlatformLibraryDir() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&LoadLibraryW), &info) || !info.dli_fname) return std::string();
    char real[PATH_MAX];
    if (!realpath(info.dli_fname, real)) return std::string();
    return DirName(real);
}

std::vector<std::string> SearchFolders() {
    std::vector<std::string> dirs;
    if (const char* env = std::getenv("VKS_DLL_PATH")) {
        std::string list(env);
        size_t i = 0;
        while (i <= list.size()) {
            size_t j = list.find(':', i);
            if (j == std::string::npos) j = list.size();
            if (j > i) dirs.push_back(list.substr(i, j - i));
            i = j + 1;
        }
    }
    std::string exe = ExecutablePath();
    if (!exe.empty()) dirs.push_back(DirName(exe));
    std::string lib = PlatformLibraryDir();
    if (!lib.empty()) dirs.push_back(lib);
    return dirs;
}

// Finds a loaded object whose file name is base (compared without case).
std::string FindLoaded(const std::string& base) {
    struct Ctx {
        const std::string* base;
        std::string path;
    } ctx{&base, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* c = static_cast<Ctx*>(data);
            if (!info->dlpi_name || !*info->dlpi_name) return 0;
            std::string name(info->dlpi_name);
            if (_stricmp(BaseName(name).c_str(), c->base->c_str()) == 0) {
                c->path = name;
                return 1;
            }
            return 0;
        },
        &ctx);
    return ctx.path;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The file to load for a mapped name in a folder: the name as given, else
// in lower case (Windows file names ignore case; the product's do not vary).
std::string Candidate(const std::string& dir, const std::string& mapped) {
    std::string p = dir + "/" + mapped;
    if (Exists(p)) return p;
    std::string lower = mapped;
    for (auto& c : lower) c = vks::text::FoldLowerA(c);
    p = dir + "/" + lower;
    return Exists(p) ? p : std::string();
}

void Remember(void* h, const std::string& path) {
    ModuleState& m = M();
    std::lock_guard<std::recursive_mutex> guard(m.lock);
    m.known[h] = path;
}

bool Known(void* h) {
    ModuleState& m = M();
    std::lock_guard<std::recursive_mutex> guard(m.lock);
    return h == m.main || m.known.count(h) != 0;
}

void Debug(const std::string& text) { OutputDebugStringA(text.c_str()); }

// The link map of a handle, to tell which object a symbol belongs to.
link_map* LinkMapOf(void* h) {
    link_map* lm = nullptr;
    if (dlinfo(h, RTLD_DI_LINKMAP, &lm) != 0) return nullptr;
    return lm;
}

void MarkExiting() { g_exiting = true; }
__attribute__((constructor)) void InstallExitHook() { std::atexit(MarkExiting); }

}  // namespace

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name = Utf8(lpLibFileName);
    for (auto& c : name)
        if (c == '\\') c = '/';
    const bool hasFolder = name.find('/') != std::string::npos;
    const std::string mapped = MapName(BaseName(name));

    std::string path;
    if (hasFolder) {
        path = Candidate(DirName(name), mapped);
    } else {
        path = FindLoaded(mapped);
        for (const auto& dir : path.empty() ? SearchFolders() : std::vector<std::string>()) {
            path = Candidate(dir, mapped);
            if (!path.empty()) break;
        }
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (path[0] != '/') {
        char real[PATH_MAX];
        if (realpath(path.c_str(), real)) path = real;
    }

    const bool outerRefused = t_attachRefused;
    t_attachRefused = false;
    ++t_loadDepth;
    dlerror();
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    --t_loadDepth;
    const bool refused = t_attachRefused;
    t_attachRefused = outerRefused;
    if (!h) {
        const char* why = dlerror();
        std::string text = why ? why : "unknown error";
        Debug("vksplatform: LoadLibraryW: cannot load " + path + ": " + text + "\n");
        const bool badFormat = text.find("invalid ELF header") != std::string::npos ||
                               text.find("wrong ELF class") != std::string::npos ||
                               text.find("file too short") != std::string::npos;
        SetLastError(badFormat ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (refused) {
        // As on Windows: a DllMain that refuses the attach fails the load and
        // gets its detach while the module is unloaded.
        dlclose(h);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    ModuleState& m = M();
    std::lock_guard<std::recursive_mutex> guard(m.lock);
    ++m.loads[h];
    m.known[h] = path;
    return static_cast<HMODULE>(h);
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    void* h = hModule ? static_cast<void*>(hModule) : MainHandle();
    if (!Known(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {  // ordinals are not supported
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* sym = dlsym(h, lpProcName);
    if (sym) {
        // dlsym also finds the symbols of the module's dependencies; Windows
        // looks at the module's own exports only.
        Dl_info info{};
        link_map* owner = nullptr;
        if (!dladdr1(sym, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || owner != LinkMapOf(h))
            sym = nullptr;
    }
    if (!sym) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(sym);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    void* h = hLibModule;
    ModuleState& m = M();
    std::unique_lock<std::recursive_mutex> guard(m.lock);
    if (!h || (h != m.main && !m.known.count(h))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto it = m.loads.find(h);
    // A handle LoadLibraryW did not count (the program's, GetModuleHandleW's)
    // holds no reference to drop.
    if (it == m.loads.end()) return TRUE;
    std::string path = m.known[h];
    if (--it->second == 0) m.loads.erase(it);
    guard.unlock();
    dlclose(h);  // may run the module's destructors, hence outside the lock
    void* still = dlopen(path.c_str(), RTLD_NOLOAD | RTLD_LAZY);
    guard.lock();
    if (still) {
        dlclose(still);
    } else if (!m.loads.count(h)) {
        m.known.erase(h);
    }
    return TRUE;
}

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    if (!lpModuleName) return static_cast<HMODULE>(MainHandle());
    std::string name = Utf8(lpModuleName);
    for (auto& c : name)
        if (c == '\\') c = '/';
    std::string path = FindLoaded(MapName(BaseName(name)));
    void* h = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOLOAD | RTLD_LAZY);
    if (!h) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(h);  // no reference is taken, as on Windows
    Remember(h, path);
    return static_cast<HMODULE>(h);
}

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    void* h = hModule;
    std::string path;
    if (!h || h == MainHandle()) {
        path = ExecutablePath();
    } else {
        if (!Known(h)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        link_map* lm = LinkMapOf(h);
        if (!lm || !lm->l_name) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = lm->l_name;
        char real[PATH_MAX];
        if (path.empty() || path[0] != '/') {
            if (realpath(path.c_str(), real)) path = real;
        }
    }
    std::vector<WCHAR> wide(path.size() + 1);
    int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    if (n <= 0) return 0;
    DWORD len = static_cast<DWORD>(n - 1);
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (len < nSize) {
        std::memcpy(lpFilename, wide.data(), (len + 1) * sizeof(WCHAR));
        return len;
    }
    // Too small: cut and terminated, the size returned, as Windows does since Vista.
    std::memcpy(lpFilename, wide.data(), (nSize - 1) * sizeof(WCHAR));
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE) { return TRUE; }

extern "C" void VksRegisterDllEntry(VKS_DLL_ENTRY_PROC entry, const void* addressInModule) {
    // Runs in the module's constructor, inside dlopen: the module is already
    // in the loaded list, so RTLD_NOLOAD finds it and gives the same handle
    // dlopen will return. The extra reference is dropped at once.
    Dl_info info{};
    link_map* lm = nullptr;
    if (!dladdr1(addressInModule, &info, reinterpret_cast<void**>(&lm), RTLD_DL_LINKMAP)) return;
    void* h = nullptr;
    std::string path = info.dli_fname ? info.dli_fname : "";
    if (lm && lm->l_name && *lm->l_name) {
        h = dlopen(lm->l_name, RTLD_NOLOAD | RTLD_LAZY);
        if (h) dlclose(h);
        path = lm->l_name;
    }
    if (!h) h = MainHandle();  // the entry is in the program itself
    {
        ModuleState& m = M();
        std::lock_guard<std::recursive_mutex> guard(m.lock);
        m.entries.push_back(Entry{entry, static_cast<HMODULE>(h)});
        if (h != m.main) m.known[h] = path;
    }
    if (!entry(static_cast<HINSTANCE>(h), DLL_PROCESS_ATTACH, nullptr)) {
        if (t_loadDepth > 0)
            t_attachRefused = true;
        else
            Debug("vksplatform: the DllMain of " + path + " refused DLL_PROCESS_ATTACH\n");
    }
}

extern "C" void VksUnregisterDllEntry(VKS_DLL_ENTRY_PROC entry, const void*) {
    HMODULE h = nullptr;
    {
        ModuleState& m = M();
        std::lock_guard<std::recursive_mutex> guard(m.lock);
        for (auto it = m.entries.begin(); it != m.entries.end(); ++it) {
            if (it->proc == entry) {
                h = it->module;
                m.entries.erase(it);
                break;
            }
        }
    }
    if (!h) return;
    // As on Windows, lpReserved is non-null when the process is ending.
    entry(static_cast<HINSTANCE>(h), DLL_PROCESS_DETACH, g_exiting ? reinterpret_cast<LPVOID>(1) : nullptr);
}
