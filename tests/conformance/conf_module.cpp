// Module loading: missing modules and exports, loading the test module (its
// DllMain gets its own handle), reference counting, module handles and file
// names.
#include "conformance.h"

namespace {

typedef int (*AttachCountFn)();
typedef HMODULE (*SelfFn)();
typedef int (*AddFn)(int, int);
typedef void (*SetDetachFlagFn)(LONG*);

bool Contains(const WCHAR* text, const WCHAR* part) {
    for (; *text; ++text) {
        const WCHAR* a = text;
        const WCHAR* b = part;
        while (*a && *b && *a == *b) ++a, ++b;
        if (!*b) return true;
    }
    return false;
}

template <typename T>
T Proc(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main() {
    // A module that does not exist.
    CHECK_ERR(LoadLibraryW(WSTR("vks_no_such_module.dll")) == nullptr, ERROR_MOD_NOT_FOUND);

    HMODULE module = LoadLibraryW(WSTR("conf_module_dll.dll"));
    CHECK(module != nullptr);
    if (!module) return conformance::Finish("conf_module");

    // DllMain ran once, with the module's own handle.
    auto attachCount = Proc<AttachCountFn>(module, "ConfModuleAttachCount");
    auto self = Proc<SelfFn>(module, "ConfModuleSelf");
    auto setDetachFlag = Proc<SetDetachFlagFn>(module, "ConfModuleSetDetachFlag");
    CHECK(attachCount != nullptr && self != nullptr && setDetachFlag != nullptr);
    if (!attachCount || !self || !setDetachFlag) return conformance::Finish("conf_module");
    CHECK_EQ(attachCount(), 1);
    CHECK(self() == module);
    auto add = Proc<AddFn>(self(), "ConfModuleAdd");
    CHECK(add != nullptr);
    if (add) CHECK_EQ(add(2, 40), 42);

    // A missing export.
    CHECK_ERR(GetProcAddress(module, "ConfModuleNoSuchExport") == nullptr, ERROR_PROC_NOT_FOUND);

    // Module handles and file names.
    CHECK(GetModuleHandleW(nullptr) != nullptr);
    CHECK(GetModuleHandleW(WSTR("conf_module_dll.dll")) == module);
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    CHECK(n > 0 && n < MAX_PATH);
    CHECK_EQ(wcslen(path), static_cast<size_t>(n));
    CHECK(Contains(path, WSTR("conf_module")));
    n = GetModuleFileNameW(module, path, MAX_PATH);
    CHECK(n > 0);
    CHECK(Contains(path, WSTR("conf_module_dll")));
    // Too small a buffer: the buffer size returned. (Windows since Vista also
    // terminates the cut text; Wine does not, so that is a unit test.)
    WCHAR shortPath[4];
    CHECK_ERR(GetModuleFileNameW(module, shortPath, 4) == 4u, ERROR_INSUFFICIENT_BUFFER);

    // Reference counting: a second load gives the same module without a
    // second attach; the module stays until the last FreeLibrary.
    HMODULE again = LoadLibraryW(WSTR("conf_module_dll.dll"));
    CHECK(again == module);
    CHECK_EQ(attachCount(), 1);
    LONG detached = 0;
    setDetachFlag(&detached);
    CHECK(FreeLibrary(again));
    CHECK_EQ(detached, 0);
    CHECK(GetProcAddress(module, "ConfModuleAdd") != nullptr);
    CHECK(FreeLibrary(module));
    CHECK_EQ(detached, 1);
    CHECK_ERR(GetModuleHandleW(WSTR("conf_module_dll.dll")) == nullptr, ERROR_MOD_NOT_FOUND);

    return conformance::Finish("conf_module");
}
