// Registry reads: value types and sizes, ERROR_MORE_DATA, size queries,
// missing keys and values, case-insensitive names. The keys come from
// tests/data/registry/conformance.reg: on Linux through VKS_REGISTRY_FILE
// (argv[1] or the path built in), under Windows/Wine imported beforehand with
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

bool SameText(const WCHAR* a, const WCHAR* b) {
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
    if (argc > 1) {
        setenv("VKS_REGISTRY_FILE", argv[1], 1);
        VksReloadRegistry();
    } else if (!getenv("VKS_REGISTRY_FILE") || !*getenv("VKS_REGISTRY_FILE")) {
#  ifdef VKS_CONF_REGISTRY_FILE
        setenv("VKS_REGISTRY_FILE", VKS_CONF_REGISTRY_FILE, 1);
        VksReloadRegistry();
#  else
        std::fprintf(stderr, "conf_registry: no registry file: pass tests/data/registry/conformance.reg as the "
                             "argument or in VKS_REGISTRY_FILE\n");
#  endif
    }
#else
    (void)argc;
    (void)argv;
#endif

    HKEY key = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    CHECK(key != nullptr);

    // DWORD: type, 4 bytes, value.
    DWORD type = 0, size = sizeof(DWORD), dword = 0;
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_DWORD));
    CHECK_EQ(size, 4u);
    CHECK_EQ(dword, 0x1fu);

    // QWORD: little-endian bytes, 8 of them.
    ULONGLONG qword = 0;
    size = sizeof qword;
    CHECK_EQ(Query(key, WSTR("Qword"), &type, &qword, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_QWORD));
    CHECK_EQ(size, 8u);
    CHECK(qword == 0x1122334455667788ull);

    // REG_SZ: the size counts the terminating null, in bytes.
    WCHAR text[64] = {};
    size = sizeof text;
    CHECK_EQ(Query(key, WSTR("Text"), &type, text, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_SZ));
    CHECK_EQ(size, 6u * sizeof(WCHAR));
    CHECK(SameText(text, WSTR("hello")));

    // Size query without a buffer.
    size = 0;
    type = 0;
    CHECK_EQ(Query(key, WSTR("Text"), &type, nullptr, &size), ERROR_SUCCESS);
    CHECK_EQ(size, 12u);
    CHECK_EQ(type, static_cast<DWORD>(REG_SZ));
    CHECK_EQ(Query(key, WSTR("Text"), nullptr, nullptr, nullptr), ERROR_SUCCESS);

    // Too small a buffer: ERROR_MORE_DATA and the size needed.
    size = 4;
    type = 0;
    CHECK_EQ(Query(key, WSTR("Text"), &type, text, &size), ERROR_MORE_DATA);
    CHECK_EQ(size, 12u);
    CHECK_EQ(type, static_cast<DWORD>(REG_SZ));
    size = 2;
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, &size), ERROR_MORE_DATA);
    CHECK_EQ(size, 4u);

    // Escapes in strings, the empty string, the default value.
    size = sizeof text;
    CHECK_EQ(Query(key, WSTR("Escaped"), &type, text, &size), ERROR_SUCCESS);
    CHECK(SameText(text, WSTR("C:\\dir \"q\"")));
    size = sizeof text;
    CHECK_EQ(Query(key, WSTR("Empty"), &type, text, &size), ERROR_SUCCESS);
    CHECK_EQ(size, 2u);
    size = sizeof text;
    CHECK_EQ(Query(key, nullptr, &type, text, &size), ERROR_SUCCESS);
    CHECK(SameText(text, WSTR("default")));
    CHECK_EQ(size, 8u * sizeof(WCHAR));
    size = sizeof text;
    CHECK_EQ(Query(key, WSTR(""), &type, text, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_SZ));

    // Binary (continued over two lines), expandable and multi strings.
    BYTE bytes[32] = {};
    size = sizeof bytes;
    CHECK_EQ(Query(key, WSTR("Binary"), &type, bytes, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_BINARY));
    CHECK_EQ(size, 5u);
    CHECK(bytes[0] == 1 && bytes[4] == 5);
    size = sizeof bytes;
    CHECK_EQ(Query(key, WSTR("Expand"), &type, bytes, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    CHECK_EQ(size, 8u);
    size = sizeof bytes;
    CHECK_EQ(Query(key, WSTR("Multi"), &type, bytes, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    CHECK_EQ(size, 10u);

    // Names ignore case.
    size = sizeof dword;
    CHECK_EQ(Query(key, WSTR("dWORD"), &type, &dword, &size), ERROR_SUCCESS);
    CHECK_EQ(dword, 0x1fu);
    HKEY upper = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("software\\VKSCONFORMANCE"), 0, KEY_READ | KEY_WOW64_64KEY,
                           &upper),
             ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(upper), ERROR_SUCCESS);

    // Missing values and keys; values and keys deleted by the file.
    size = sizeof dword;
    CHECK_EQ(Query(key, WSTR("NoSuchValue"), &type, &dword, &size), ERROR_FILE_NOT_FOUND);
    size = sizeof text;
    CHECK_EQ(Query(key, WSTR("Deleted"), &type, text, &size), ERROR_FILE_NOT_FOUND);
    HKEY missing = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\VksConformance\\NoSuchKey"), 0, KEY_READ, &missing),
             ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegOpenKeyExW(key, WSTR("Gone"), 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);

    // Subkeys: a path from the root, and relative to an open key.
    HKEY deeper = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\VksConformance\\Sub\\Deeper"), 0, KEY_READ, &deeper),
             ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(deeper), ERROR_SUCCESS);
    CHECK_EQ(RegOpenKeyExW(key, WSTR("sub\\deeper"), 0, KEY_READ, &deeper), ERROR_SUCCESS);
    size = sizeof dword;
    CHECK_EQ(Query(deeper, WSTR("Value"), &type, &dword, &size), ERROR_SUCCESS);
    CHECK_EQ(dword, 1u);
    CHECK_EQ(RegCloseKey(deeper), ERROR_SUCCESS);

    // A leading backslash is not a valid path.
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("\\SOFTWARE\\VksConformance"), 0, KEY_READ, &missing),
             ERROR_BAD_PATHNAME);

    // Parameters: a data buffer needs a size.
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, nullptr), ERROR_INVALID_PARAMETER);

    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // A closed key is an invalid handle.
    size = sizeof dword;
    CHECK_EQ(Query(key, WSTR("Dword"), &type, &dword, &size), ERROR_INVALID_HANDLE);
    CHECK_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    return conformance::Finish("conf_registry");
}
