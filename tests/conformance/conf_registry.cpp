// Registry reads: value types and sizes, ERROR_MORE_DATA, size queries,
// missing keys and values, case-insensitive names. The keys come from
// tests/data/registry/conformance.reg: on Linux through VKS_REGISTRY_FILE
// (by default the path built in), under Windows/Wine imported beforehand with
// "regedit /S conformance.reg".
#include "conformance.h"

#include <cstring>
#if !defined(_WIN32)
#  include "vks_win32/linux_ext.h"
#endif

namespace {

const WCHAR* const kKey = WSTR("SOFTWARE\\VksConformance");

LSTATUS Query(HKEY key, const WCHAR* name, DWORD* type, void* data, DWORD* size) {
    return RegQueryValueExW(key, name, nullptr, type, static_cast<LPBYTE>(data), size);
}

const BYTE kQword[] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
const BYTE kBinary[] = {1, 2, 3, 4, 5};  // continued over two lines in the file

// One query of a value of kKey: the buffer offered (0: none), and what comes
// back. The data is compared when the query succeeds with a buffer.
struct QueryCase {
    const WCHAR* name;
    DWORD offered;
    LSTATUS status;
    DWORD type;
    DWORD size;
    const void* data;
};

}  // namespace

int main() {
#if !defined(_WIN32)
    // The file the build names, unless VKS_REGISTRY_FILE names one.
    if (!getenv("VKS_REGISTRY_FILE") || !*getenv("VKS_REGISTRY_FILE")) {
        setenv("VKS_REGISTRY_FILE", VKS_CONF_REGISTRY_FILE, 1);
        VksReloadRegistry();
    }
#endif

    HKEY key = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    CHECK(key != nullptr);

    const DWORD dwordValue = 0x1f;
    const QueryCase cases[] = {
        {WSTR("Dword"), 4, ERROR_SUCCESS, REG_DWORD, 4, &dwordValue},
        {WSTR("dWORD"), 4, ERROR_SUCCESS, REG_DWORD, 4, &dwordValue},  // names ignore case
        {WSTR("Qword"), 8, ERROR_SUCCESS, REG_QWORD, 8, kQword},
        {WSTR("Text"), 64, ERROR_SUCCESS, REG_SZ, 12, WSTR("hello")},  // the size counts the null
        {WSTR("Text"), 0, ERROR_SUCCESS, REG_SZ, 12, nullptr},          // a size query
        {WSTR("Text"), 4, ERROR_MORE_DATA, REG_SZ, 12, nullptr},
        {WSTR("Dword"), 2, ERROR_MORE_DATA, REG_DWORD, 4, nullptr},
        {WSTR("Escaped"), 64, ERROR_SUCCESS, REG_SZ, 22, WSTR("C:\\dir \"q\"")},
        {WSTR("Empty"), 64, ERROR_SUCCESS, REG_SZ, 2, WSTR("")},
        {nullptr, 64, ERROR_SUCCESS, REG_SZ, 16, WSTR("default")},
        {WSTR(""), 64, ERROR_SUCCESS, REG_SZ, 16, WSTR("default")},
        {WSTR("Binary"), 64, ERROR_SUCCESS, REG_BINARY, 5, kBinary},
        {WSTR("Expand"), 64, ERROR_SUCCESS, REG_EXPAND_SZ, 8, WSTR("%A%")},
        {WSTR("Multi"), 64, ERROR_SUCCESS, REG_MULTI_SZ, 10, WSTR("a\0b\0")},
        {WSTR("NoSuchValue"), 64, ERROR_FILE_NOT_FOUND, 0, 0, nullptr},
        {WSTR("Deleted"), 64, ERROR_FILE_NOT_FOUND, 0, 0, nullptr},  // deleted by the file
    };
    for (const QueryCase& c : cases) {
        BYTE buffer[64] = {};
        DWORD type = 0xFFFF, size = c.offered;
        const LSTATUS status = Query(key, c.name, &type, c.offered ? buffer : nullptr, &size);
        CHECK_EQ(status, c.status);
        if (status == ERROR_FILE_NOT_FOUND) continue;
        CHECK_EQ(type, c.type);
        CHECK_EQ(size, c.size);
        if (c.data) CHECK(std::memcmp(buffer, c.data, c.size) == 0);
    }
    CHECK_EQ(Query(key, WSTR("Text"), nullptr, nullptr, nullptr), ERROR_SUCCESS);

    // Opens: names ignore case; missing keys, keys deleted by the file; a
    // path from the root or relative to an open key, never with a leading
    // backslash; a parent must be a valid handle.
    const struct {
        HKEY parent;
        const WCHAR* path;
        LSTATUS status;
    } opens[] = {
        {HKEY_LOCAL_MACHINE, WSTR("software\\VKSCONFORMANCE"), ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\VksConformance\\NoSuchKey"), ERROR_FILE_NOT_FOUND},
        {key, WSTR("Gone"), ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\VksConformance\\Sub\\Deeper"), ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, WSTR("\\SOFTWARE\\VksConformance"), ERROR_BAD_PATHNAME},
        {reinterpret_cast<HKEY>(0x1234), WSTR("X"), ERROR_INVALID_HANDLE},
    };
    for (const auto& o : opens) {
        HKEY opened = nullptr;
        CHECK_EQ(RegOpenKeyExW(o.parent, o.path, 0, KEY_READ | KEY_WOW64_64KEY, &opened), o.status);
        if (o.status == ERROR_SUCCESS) CHECK_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    }
    HKEY deeper = nullptr;
    DWORD type = 0, size = sizeof(DWORD), dword = 0;
    CHECK_EQ(RegOpenKeyExW(key, WSTR("sub\\deeper"), 0, KEY_READ, &deeper), ERROR_SUCCESS);
    CHECK_EQ(Query(deeper, WSTR("Value"), &type, &dword, &size), ERROR_SUCCESS);
    CHECK_EQ(dword, 1u);
    CHECK_EQ(RegCloseKey(deeper), ERROR_SUCCESS);

    // Parameters: a data buffer needs a size, an open a place for the key.
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, nullptr), ERROR_INVALID_PARAMETER);
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE"), 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // A closed key is an invalid handle.
    size = sizeof dword;
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, &size), ERROR_INVALID_HANDLE);
    CHECK_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    return conformance::Finish("conf_registry");
}
