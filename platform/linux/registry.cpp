// RegOpenKeyExW / RegQueryValueExW / RegCloseKey over the registry text file
// named by VKS_REGISTRY_FILE. The file is read on first use and again on
// VksReloadRegistry(); open keys refer to their path, so a key still open
// across a reload sees the new data (or ERROR_KEY_DELETED when it is gone).
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"
#include "vks_registry_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace vks::registry {
namespace {

struct OpenKey {
    int root;
    std::vector<std::u16string> path;  // folded
};

struct State {
    std::mutex lock;
    bool loaded = false;
    Tree tree;
    std::unordered_map<uintptr_t, OpenKey> open;
    uintptr_t nextHandle = 0x1000;
};

State& S() {
    static State* state = new State;  // never destroyed: keys may be used from other modules' destructors
    return *state;
}

// Reads the file into a fresh tree. Called with the lock held.
void Load(State& st) {
    st.tree = Tree();
    st.loaded = true;
    const char* file = std::getenv("VKS_REGISTRY_FILE");
    if (!file || !*file) return;
    std::ifstream in(file, std::ios::binary);
    if (!in) return;  // an absent file is an empty registry
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ParseResult r = Parse(bytes, st.tree);
    if (r.badLines) {
        std::fprintf(stderr, "vksplatform: registry file '%s' line %d: %s", file, r.firstBadLine,
                     r.firstProblem.c_str());
        if (r.badLines > 1) std::fprintf(stderr, " (and %d more unreadable lines)", r.badLines - 1);
        std::fprintf(stderr, "; the values it could not read do not exist\n");
    }
}

int RootIndex(HKEY h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    for (int r = 0; r < kRootCount; ++r)
        if (v == static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000000u + r)))) return r;
    return -1;
}

// Resolves a handle to its root and path; false for an unknown handle.
bool Resolve(State& st, HKEY h, OpenKey& out) {
    int root = RootIndex(h);
    if (root >= 0) {
        out = OpenKey{root, {}};
        return true;
    }
    auto it = st.open.find(reinterpret_cast<uintptr_t>(h));
    if (it == st.open.end()) return false;
    out = it->second;
    return true;
}

}  // namespace
}  // namespace vks::registry

using namespace vks::registry;

extern "C" void VksReloadRegistry(void) {
    State& st = S();
    std::lock_guard<std::mutex> guard(st.lock);
    Load(st);
}

extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                       PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State& st = S();
    std::lock_guard<std::mutex> guard(st.lock);
    if (!st.loaded) Load(st);
    OpenKey base;
    if (!Resolve(st, hKey, base)) return ERROR_INVALID_HANDLE;
    if (lpSubKey) {
        std::u16string_view sub(lpSubKey);
        if (!sub.empty() && sub.front() == u'\\') return ERROR_BAD_PATHNAME;
        for (auto& part : SplitPath(sub)) base.path.push_back(std::move(part));
    }
    if (!Find(st.tree, base.root, base.path)) return ERROR_FILE_NOT_FOUND;
    uintptr_t h = st.nextHandle;
    st.nextHandle += 4;  // handles are never reused, so a closed one stays invalid
    st.open.emplace(h, std::move(base));
    *phkResult = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    State& st = S();
    std::lock_guard<std::mutex> guard(st.lock);
    if (!st.loaded) Load(st);
    OpenKey k;
    if (!Resolve(st, hKey, k)) return ERROR_INVALID_HANDLE;
    const Key* key = Find(st.tree, k.root, k.path);
    if (!key) return ERROR_KEY_DELETED;
    auto it = key->values.find(Fold(lpValueName ? std::u16string_view(lpValueName) : std::u16string_view()));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& v = it->second;
    if (lpType) *lpType = v.type;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (!lpData) {
        if (lpcbData) *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(lpData, v.data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;  // closing a predefined key does nothing
    State& st = S();
    std::lock_guard<std::mutex> guard(st.lock);
    return st.open.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
