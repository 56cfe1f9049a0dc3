// 742AudioHelper: the helper process of an audio session. The library starts
// it with the session GUID and two inherited event handles; it loads the
// library and runs its AudioHelperProcessMain export, which holds a stream
// open in the session until the stop event is set.
//
//   742AudioHelper.exe {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} <started> <stop>
//
// The handles are 16 hexadecimal digits each. Exit code: 0 when the export
// returned success, 1 when it reported a failure, 2 for bad arguments, 3 when
// the library or the export cannot be found.
#include "vks_platform.h"
#include "vksacc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

typedef uint32_t(VKSAPI* AudioHelperProcessMainFn)(const VKSGUID*, VKSHANDLE, VKSHANDLE);

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits from *text, advancing it.
bool ReadHex(const char*& text, int digits, uint64_t* value) {
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    text += digits;
    *value = v;
    return true;
}

bool Expect(const char*& text, char c) {
    if (*text != c) return false;
    ++text;
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as StringFromGUID2 writes it.
bool ParseGuid(const char* text, VKSGUID* guid) {
    uint64_t v = 0;
    if (std::strlen(text) != 38 || !Expect(text, '{')) return false;
    if (!ReadHex(text, 8, &v)) return false;
    guid->Data1 = static_cast<uint32_t>(v);
    if (!Expect(text, '-') || !ReadHex(text, 4, &v)) return false;
    guid->Data2 = static_cast<uint16_t>(v);
    if (!Expect(text, '-') || !ReadHex(text, 4, &v)) return false;
    guid->Data3 = static_cast<uint16_t>(v);
    if (!Expect(text, '-')) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(text, '-')) return false;
        if (!ReadHex(text, 2, &v)) return false;
        guid->Data4[i] = static_cast<uint8_t>(v);
    }
    return Expect(text, '}');
}

bool ParseHandle(const char* text, VKSHANDLE* handle) {
    uint64_t v = 0;
    if (std::strlen(text) != 16 || !ReadHex(text, 16, &v)) return false;
    *handle = reinterpret_cast<VKSHANDLE>(static_cast<uintptr_t>(v));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    VKSGUID session{};
    VKSHANDLE started = nullptr, stop = nullptr;
    if (argc != 4 || !ParseGuid(argv[1], &session) || !ParseHandle(argv[2], &started) || !ParseHandle(argv[3], &stop)) {
        return 2;
    }
    HMODULE library = LoadLibraryW(WSTR("vksacc.dll"));
    if (library == nullptr) return 3;
    auto entry = reinterpret_cast<AudioHelperProcessMainFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "AudioHelperProcessMain")));
    if (entry == nullptr) return 3;
#if defined(VKS_AUDIO_HELPER_TEST_BUILD)
    // The tests' build can also be told to start slowly, as a process start
    // on a loaded machine does.
    if (const char* delay = std::getenv("VKS_AUDIO_HELPER_START_DELAY_MS"))
        Sleep(static_cast<DWORD>(std::strtoul(delay, nullptr, 10)));
#endif
    const uint32_t result = entry(&session, started, stop);
#if defined(VKS_AUDIO_HELPER_TEST_BUILD)
    // The tests' build of this program (tests/CMakeLists.txt) can be
    // told to stay after its stream is closed, so that the library's
    // termination path can be exercised. The shipped program has no such hook.
    const char* hang = std::getenv("VKS_AUDIO_HELPER_IGNORE_STOP");
    if (hang != nullptr && hang[0] == '1') {
        for (;;) Sleep(INFINITE);
    }
#endif
    // The library stays loaded: the process ends right here.
    return (result & 0x80000000u) != 0 ? 1 : 0;
}
