// Every export, called with null pointers, stale handles, handles of another
// type and indexes out of range: each answers with a status of its own kind
// and nothing crashes (the sanitizer builds run this too). The table of calls
// is generated from vksacc.h, so a new export is covered by construction.
#include "vksacc.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

enum class ArgRole { Handle, Index, Pointer, Callback, Text, Value };

// Supplies the arguments of one call, as the current mode wants them.
struct ArgSource {
    HVKS handle = 0;
    uint32_t index = 0;
    bool nullPointers = false;

    HVKS HandleArg() const { return handle; }
    uint32_t IndexArg() const { return index; }
    void* CallbackArg() const { return nullptr; }
    uint32_t ValueArg() const { return 0; }
    const void* TextArg(bool wide) const {
        if (nullPointers) return nullptr;
        return wide ? static_cast<const void*>(u"rtsp://127.0.0.1/x") : static_cast<const void*>("rtsp://127.0.0.1/x");
    }
    void* PointerArg(int position, size_t /*pointee*/) {
        if (nullPointers) return nullptr;
        // Each argument gets its own zeroed buffer, larger than any record.
        std::vector<uint8_t>& buffer = scratch[position];
        buffer.assign(64 * 1024, 0);
        return buffer.data();
    }
    std::vector<uint8_t> scratch[8];
};

struct ExportCall {
    const char* name;
    std::vector<ArgRole> roles;
    std::function<VKSERROR(ArgSource&)> call;

    bool Has(ArgRole role) const { return std::find(roles.begin(), roles.end(), role) != roles.end(); }
};

const std::vector<ExportCall>& AllExports() {
    static const std::vector<ExportCall> calls = {
#include "export_calls.inc"
    };
    return calls;
}

// Engine lifetime and the helper process entry have their own tests.
bool Swept(const ExportCall& e) {
    const std::string name = e.name;
    return name != "VKSEngineLoad" && name != "VKSEngineFree" && name != "AudioHelperProcessMain";
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A status of the library's own families: VKSERROR (0, 1, 0x0134xxxx) or the
// handle table's (0x0117xxxx). Anything else would be garbage.
bool IsStatus(VKSERROR status) {
    return status <= 1 || (status >> 16) == 0x0134 || (status >> 16) == 0x0117;
}

class ExportRobustnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        vkssim::Reset();
        vkssim::DeviceConfig config;
        config.inputs[VKSSIM_TYPE_NETWORK] = 2;
        config.inputs[VKSSIM_TYPE_DECODER] = 2;
        config.inputs[VKSSIM_TYPE_ENCODER] = 1;
        config.inputs[VKSSIM_TYPE_DISCOVERY] = 1;
        vkssim::AddDevice(config);
        ASSERT_EQ(VKSEngineLoad(&engine_), VKSERROR_NO_ERROR);
        VKSGUID session{};
        ASSERT_EQ(VKSNetworkStreamOpenExA(0, "rtsp://127.0.0.1/a", 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder_, nullptr, &session), VKSERROR_NO_ERROR);
        HVKS closing = 0;
        ASSERT_EQ(VKSNetworkStreamOpenExA(1, "rtsp://127.0.0.1/b", 0, &closing, nullptr), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSNetworkStreamClose(closing), VKSERROR_NO_ERROR);
        stale_ = closing;
    }
    void TearDown() override {
        EXPECT_EQ(VKSEngineFree(engine_), VKSERROR_NO_ERROR);
        vkssim::Reset();
    }

    // Calls each swept export that takes an argument of one of `roles` (but
    // those named in `skipped`), with `source`'s arguments and, unless its
    // handle is the stale one, a live handle of the export's own family or of
    // another; `allowed` judges each status.
    template <typename Allowed>
    void Sweep(std::vector<ArgRole> roles, ArgSource source, bool otherFamily, const std::set<std::string>& skipped,
               Allowed allowed) {
        for (const auto& e : AllExports()) {
            const std::string name = e.name;
            if (!Swept(e) || skipped.count(name) != 0 || std::none_of(roles.begin(), roles.end(), [&](ArgRole r) {
                    return e.Has(r);
                })) {
                continue;
            }
            const bool decoderFamily = StartsWith(name, "VKSDecoder");
            if (source.handle != stale_) source.handle = decoderFamily != otherFamily ? decoder_ : stream_;
            const VKSERROR status = e.call(source);
            EXPECT_TRUE(allowed(name, status)) << name << " " << std::hex << status;
        }
    }

    VKSHENGINE engine_ = nullptr;
    HVKS stream_ = 0;
    HVKS decoder_ = 0;
    HVKS stale_ = 0;
};

TEST_F(ExportRobustnessTest, TheTableCoversEveryExport) {
    EXPECT_EQ(AllExports().size(), 173u);
    std::set<std::string> names;
    for (const auto& e : AllExports()) names.insert(e.name);
    EXPECT_EQ(names.size(), AllExports().size());
}

TEST_F(ExportRobustnessTest, NullPointersAreRefused) {
    // Exports whose pointer arguments may be null by contract: a context
    // pointer, a callback to clear, or an address that is optional.
    const std::set<std::string> nullAllowed = {
        "VKSSetSystemEventFn", "VKSSetSystemEventFnEx", "VKSDecoderDeviceSetErrorFn", "VKSDecoderDeviceSetOutputMediaSampleReturnFn",
        "VKSNetworkStreamSetErrorFn", "VKSEncoderDeviceSetErrorFn", "VKSEncoderDeviceSetOutputMediaSampleReturnFn",
        "VKSEncoderDeviceSetEncryptionKeysFn", "VKSDecoderDeviceSetWindow", "VKSDiscoverySetCallbackFn",
        "VKSDecoderDeviceSetAudioDecodeEnabled"};
    ArgSource source;
    source.nullPointers = true;
    Sweep({ArgRole::Pointer, ArgRole::Text}, source, false, {}, [&](const std::string& name, VKSERROR status) {
        return IsStatus(status) && (status != VKSERROR_NO_ERROR || nullAllowed.count(name) != 0);
    });
}

TEST_F(ExportRobustnessTest, StaleHandlesAreRefused) {
    ArgSource source;
    source.handle = stale_;
    // VKSNetworkStreamGetNumIfcs answers a constant without looking at its
    // handle, by contract. Argument checks come before the handle is locked:
    // a record whose size field is 0 may be refused first.
    Sweep({ArgRole::Handle}, source, false, {"VKSNetworkStreamGetNumIfcs"}, [](const std::string&, VKSERROR status) {
        return status == HANDLEERROR_INVALID_HANDLE || status == VKSERROR_INVALID_HANDLE ||
               status == VKSERROR_UNSUPPORTED || status == VKSERROR_INVALID_ARGUMENT ||
               status == VKSERROR_BUFFER_TOO_SMALL;
    });
}

TEST_F(ExportRobustnessTest, HandlesOfAnotherFamilyNeverCrash) {
    // A close of the wrong family would retire the handle the sweep relies on.
    const std::set<std::string> closes = {"VKSDecoderDeviceClose", "VKSNetworkStreamClose", "VKSEncoderDeviceClose",
                                          "VKSDiscoUninit"};
    Sweep({ArgRole::Handle}, ArgSource{}, true, closes,
          [](const std::string&, VKSERROR status) { return IsStatus(status); });
}

TEST_F(ExportRobustnessTest, IndexesOutOfRangeAreRefused) {
    ArgSource source;
    source.index = 9999;
    Sweep({ArgRole::Index}, source, false, {}, [](const std::string&, VKSERROR status) {
        return status == VKSERROR_INVALID_INPUT || status == VKSERROR_UNSUPPORTED ||
               status == VKSERROR_INVALID_ARGUMENT || status == VKSERROR_BUFFER_TOO_SMALL;
    });
}

}  // namespace
