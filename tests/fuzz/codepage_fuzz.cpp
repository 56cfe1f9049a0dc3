// Code-page conversions both ways with every code page the layer knows,
// arbitrary bytes and units, and output buffers of every size (0 asks for the
// size needed). The result never exceeds the buffer and is the size asked for.
#include "vks_platform.h"

#include <cstdint>
#include <vector>

#include "fuzz_input.h"

constexpr UINT kCodePages[] = {CP_ACP, CP_UTF8, 1252, 437, 65000};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const UINT codePage = kCodePages[in.Byte() % (sizeof kCodePages / sizeof kCodePages[0])];
    const DWORD flags = in.Byte() & 1 ? MB_ERR_INVALID_CHARS : 0;
    const int outUnits = static_cast<int>(in.Byte()) - 1;  // -1: a bad size
    const bool terminated = in.Byte() & 1;

    std::vector<uint8_t> bytes = in.Bytes(255);
    if (terminated) bytes.push_back(0);
    const int inCount = terminated ? -1 : static_cast<int>(bytes.size());
    // Exactly the size given, so that a write past it is caught.
    std::vector<WCHAR> wide(outUnits > 0 ? outUnits : 1);
    const char* text = bytes.empty() ? "" : reinterpret_cast<const char*>(bytes.data());
    if (!terminated || !bytes.empty()) {
        const int needed = MultiByteToWideChar(codePage, flags, text, inCount, nullptr, 0);
        const int written = MultiByteToWideChar(codePage, flags, text, inCount, outUnits >= 0 ? wide.data() : nullptr,
                                                outUnits);
        FuzzCheck(written <= (outUnits > 0 ? outUnits : 0) || outUnits == 0);
        if (outUnits >= needed && needed > 0) FuzzCheck(written == needed);
    }

    std::vector<uint16_t> units(in.Byte());
    for (uint16_t& u : units) u = in.Value<uint16_t>();
    if (terminated) units.push_back(0);
    std::vector<char> narrow(outUnits > 0 ? outUnits : 1);
    BOOL usedDefault = FALSE;
    const bool askDefault = in.Byte() & 1;
    const DWORD wflags = in.Byte() & 1 ? WC_ERR_INVALID_CHARS : 0;
    const int unitCount = terminated ? -1 : static_cast<int>(units.size());
    const WCHAR* source = units.empty() ? u"" : reinterpret_cast<const WCHAR*>(units.data());
    const int needed = WideCharToMultiByte(codePage, wflags, source, unitCount, nullptr, 0, nullptr, nullptr);
    const int written = WideCharToMultiByte(codePage, wflags, source, unitCount, outUnits >= 0 ? narrow.data() : nullptr,
                                            outUnits, nullptr,
                                            askDefault && codePage != CP_UTF8 ? &usedDefault : nullptr);
    FuzzCheck(written <= (outUnits > 0 ? outUnits : 0) || outUnits == 0);
    if (outUnits >= needed && needed > 0) FuzzCheck(written == needed);
    return 0;
}
