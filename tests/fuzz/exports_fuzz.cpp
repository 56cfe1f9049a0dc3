// Every export with hostile arguments, in sequences the input chooses, over a
// whole engine lifetime per input, against the simulator or (built with
// VKS_FUZZ_DRIVER_REPLIES) against a driver whose every reply comes from the
// input too: handles of every family, stale and made-up
// handles, size words exact, short and oversized, texts empty, overlong, with
// lone surrogates and in every address scheme. The table of calls is made
// from the public header, so a new export is fuzzed by construction.
//
// Buffers are never smaller than what their pointer type points at (nor
// than a few words), and values stay within the raw buffers' size: a caller that lies about its own
// memory is out of scope; everything the library is told is fair game.
#include "vksacc.h"
#ifdef VKS_FUZZ_DRIVER_REPLIES
#include "fuzz_driver.h"
#else
#include "vkssim/sim.h"
#endif

#include <cstdint>
#include <algorithm>
#include <dlfcn.h>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

enum class ArgRole { Handle, Index, Pointer, Callback, Text, Value };

constexpr size_t kRawBuffer = 0x10000;
constexpr size_t kScalarRoom = 64;

// The handles an input can name: one live object of each family, one that
// was closed, and values no object ever had.
struct Handles {
    HVKS live[4] = {};
    HVKS stale = 0;
};

struct ArgSource {
    FuzzInput& in;
    const Handles& handles;
    std::vector<std::vector<uint8_t>> buffers;
    std::vector<std::string> narrowTexts;
    std::vector<std::u16string> wideTexts;

    HVKS HandleArg() {
        const uint8_t pick = in.Byte() % 8;
        const HVKS named[] = {handles.live[0], handles.live[1], handles.live[2], handles.live[3], handles.stale, 0,
                              handles.live[0] + 1};
        return pick < 7 ? named[pick] : in.Value<HVKS>();
    }
    uint32_t IndexArg() { return in.Byte() < 200 ? in.Byte() % 4 : in.Edgy32(); }
    void* CallbackArg() { return nullptr; }
    uint32_t ValueArg() {
        const uint32_t v = in.Edgy32();
        return v <= kRawBuffer ? v : v % (kRawBuffer + 1);
    }
    void* PointerArg(int, size_t pointee) {
        const uint8_t mode = in.Byte();
        if (mode % 8 == 0) return nullptr;
        // The size word at the front: the record's own size, shorter, longer,
        // or anything up to the raw buffer's size.
        const uint32_t size = static_cast<uint32_t>(pointee);
        const uint32_t sizeWord = mode % 5 == 0   ? size
                                  : mode % 5 == 1 ? (size > 0 ? size - 1 - in.Below(size) : 0)
                                  : mode % 5 == 2 ? size + 1 + in.Below(64)
                                                  : in.Below(kRawBuffer + 1);
        // A scalar pointer may stand for a short array (a header of two
        // words, say): such buffers get room for a few.
        const size_t length = pointee == 0 ? kRawBuffer + 16 : std::max<size_t>({pointee, sizeWord, kScalarRoom});
        // Records are zeroed: one may hold pointers (a sample's buffer list),
        // and a made-up pointer is the caller's fault, not the library's.
        const uint8_t fill = in.Byte();
        std::vector<uint8_t>& buffer = buffers.emplace_back(length, pointee == 0 ? fill : 0);
        std::memcpy(buffer.data(), &sizeWord, 4);
        return buffer.data();
    }
    const void* TextArg(bool wide) {
        static const char* const kTexts[] = {
            "", "udp://239.1.1.1:5000", "udp://@:1", "udp://", "udp://[::1]:65536", "rtsp://127.0.0.1/a",
            "file:///nonexistent/clip.ts", "file://relative.ts", "FILE:///dev/null", "file:///dev/null",
            "sdp:///dev/null", "sdp://", "sdp:///nonexistent.sdp", "file:///tmp", "srt://h:1", "://", "%", "\\\\?\\C:"};
        const uint8_t pick = in.Byte();
        if (pick == 0) return nullptr;
        std::string text;
        if (pick < 160) {
            text = kTexts[pick % (sizeof kTexts / sizeof kTexts[0])];
        } else if (pick < 176) {
            text = "file://" + std::string(993 + in.Below(8000), 'a');
        } else {
            const std::vector<uint8_t> bytes = in.Bytes(300);
            text = std::string(bytes.begin(), bytes.end()).c_str();  // up to the first zero
        }
        if (!wide) return narrowTexts.emplace_back(std::move(text)).c_str();
        std::u16string units(text.begin(), text.end());
        if (pick & 1) units.insert(units.size() / 2, 1, static_cast<char16_t>(0xD800 + in.Below(0x800)));  // a lone surrogate
        return wideTexts.emplace_back(std::move(units)).c_str();
    }
};

struct ExportCall {
    const char* name;
    std::vector<ArgRole> roles;
    std::function<VKSERROR(ArgSource&)> call;
};

const std::vector<ExportCall>& AllExports() {
    static const std::vector<ExportCall> calls = {
#include "export_calls.inc"
    };
    return calls;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("VKS_DLL_PATH", VKS_FUZZ_STANDIN_DIR, 1);
    // The engine loads and frees the stand-ins with every input; kept mapped,
    // their coverage counters stay valid for the fuzzer between inputs.
    for (const char* name : {"/libvidpane.so", "/liboemname.so"})
        dlopen((std::string(VKS_FUZZ_STANDIN_DIR) + name).c_str(), RTLD_NOW | RTLD_NODELETE);
#ifdef VKS_FUZZ_DRIVER_REPLIES
    fuzzdriver::Install();
#else
    vkssim::Reset();
    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 2;
    config.inputs[VKSSIM_TYPE_DECODER] = 2;
    config.inputs[VKSSIM_TYPE_ENCODER] = 1;
    config.inputs[VKSSIM_TYPE_DISCOVERY] = 1;
    vkssim::AddDevice(config);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The engine's own lifetime is the harness's; the helper process entry
    // waits for its stop event.
    static std::vector<const ExportCall*> table = [] {
        std::vector<const ExportCall*> t;
        for (const ExportCall& e : AllExports()) {
            const std::string name = e.name;
            if (name != "VKSEngineLoad" && name != "VKSEngineFree" && name != "AudioHelperProcessMain") t.push_back(&e);
        }
        return t;
    }();
#ifdef VKS_FUZZ_DRIVER_REPLIES
    // The first byte splits the input: replies first, calls after.
    const size_t split = size == 0 ? 0 : std::min<size_t>(size - 1, data[0] * size / 256);
    fuzzdriver::SetReplies(data + 1, split);
    data += 1 + split;
    size -= size == 0 ? 0 : 1 + split;
#endif
    VKSHENGINE engine = nullptr;
    const VKSERROR loaded = VKSEngineLoad(&engine);
#ifndef VKS_FUZZ_DRIVER_REPLIES
    if (loaded != VKSERROR_NO_ERROR) std::abort();
#endif
    Handles handles;
    VKSGUID session{};
    VKSNetworkStreamOpenExA(0, "rtsp://127.0.0.1/a", 0, &handles.live[0], nullptr);
    // Without sound: a helper process per input would only slow the run.
    VKSDecoderDeviceSetAudioDecodeEnabled(0);
    VKSDecoderDeviceOpenEx(0, 0, 0, &handles.live[1], nullptr, &session);
    VKSEncoderDeviceOpen(0, 0, &handles.live[2]);
    VKSDiscoInit(0, &handles.live[3]);
    VKSNetworkStreamOpenExA(1, "rtsp://127.0.0.1/b", 0, &handles.stale, nullptr);
    VKSNetworkStreamClose(handles.stale);

    FuzzInput in(data, size);
    for (int calls = 0; calls < 24 && !in.Empty(); ++calls) {
        const ExportCall& e = *table[in.Below(static_cast<uint32_t>(table.size()))];
        ArgSource source{in, handles, {}, {}, {}};
        source.buffers.reserve(8);
        e.call(source);
    }
    // Whatever the calls left open, the last free closes.
    const VKSERROR freed = VKSEngineFree(engine);
    if (loaded == VKSERROR_NO_ERROR && freed != VKSERROR_NO_ERROR) std::abort();
#ifdef VKS_FUZZ_DRIVER_REPLIES
    fuzzdriver::SetReplies(nullptr, 0);
#endif
    return 0;
}
