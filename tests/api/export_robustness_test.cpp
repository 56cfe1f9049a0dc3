// Every export, called with null pointers, stale handles, handles of another
// type and indexes out of range: each answers with a status of its own kind
// and nothing crashes (the sanitizer builds run this too). The table of calls
// is generated from vksacc.h, so a new export is covered by construction.
#include "vksacc.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

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

    bool Has(ArgRole role) const {
        for (ArgRole r : roles) {
            if (r == role) return true;
        }
        return false;
    }
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

    // A live handle of the family the export belongs to, or of another family.
    HVKS HandleFor(const std::string& name, bool otherFamily) const {
        const bool decoderFamily = StartsWith(name, "VKSDecoder");
        if (otherFamily) return decoderFamily ? stream_ : decoder_;
        return decoderFamily ? decoder_ : stream_;
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
    for (const auto& e : AllExports()) {
        if (!Swept(e) || !(e.Has(ArgRole::Pointer) || e.Has(ArgRole::Text))) continue;
        ArgSource source;
        source.nullPointers = true;
        source.handle = HandleFor(e.name, false);
        const VKSERROR status = e.call(source);
        EXPECT_TRUE(IsStatus(status)) << e.name << " " << std::hex << status;
        if (nullAllowed.count(e.name) == 0) {
            EXPECT_NE(status, VKSERROR_NO_ERROR) << e.name << " accepted a null pointer";
        }
    }
}

TEST_F(ExportRobustnessTest, StaleHandlesAreRefused) {
    for (const auto& e : AllExports()) {
        if (!Swept(e) || !e.Has(ArgRole::Handle)) continue;
        // Answers a constant without looking at its handle, by contract.
        if (std::string(e.name) == "VKSNetworkStreamGetNumIfcs") continue;
        ArgSource source;
        source.handle = stale_;
        const VKSERROR status = e.call(source);
        // Argument checks come before the handle is locked: a record whose
        // size field is 0 may be refused first.
        EXPECT_TRUE(status == HANDLEERROR_INVALID_HANDLE || status == VKSERROR_INVALID_HANDLE ||
                    status == VKSERROR_UNSUPPORTED || status == VKSERROR_INVALID_ARGUMENT ||
                    status == VKSERROR_BUFFER_TOO_SMALL)
            << e.name << " " << std::hex << status;
    }
}

TEST_F(ExportRobustnessTest, HandlesOfAnotherFamilyNeverCrash) {
    for (const auto& e : AllExports()) {
        if (!Swept(e) || !e.Has(ArgRole::Handle)) continue;
        const std::string name = e.name;
        if (StartsWith(name, "VKSDecoderDeviceClose") || StartsWith(name, "VKSNetworkStreamClose") ||
            StartsWith(name, "VKSEncoderDeviceClose") || StartsWith(name, "VKSDiscoUninit")) {
            continue;  // a close of the wrong family would retire the handle the sweep relies on
        }
        ArgSource source;
        source.handle = HandleFor(name, true);
        const VKSERROR status = e.call(source);
        EXPECT_TRUE(IsStatus(status)) << name << " " << std::hex << status;
    }
}

TEST_F(ExportRobustnessTest, IndexesOutOfRangeAreRefused) {
    for (const auto& e : AllExports()) {
        if (!Swept(e) || !e.Has(ArgRole::Index)) continue;
        ArgSource source;
        source.index = 9999;
        source.handle = HandleFor(e.name, false);
        const VKSERROR status = e.call(source);
        EXPECT_TRUE(status == VKSERROR_INVALID_INPUT || status == VKSERROR_UNSUPPORTED ||
                    status == VKSERROR_INVALID_ARGUMENT || status == VKSERROR_BUFFER_TOO_SMALL)
            << e.name << " " << std::hex << status;
    }
}

}  // namespace
