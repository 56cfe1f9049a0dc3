// The audio session helper as an application meets it through the shared
// library: the program the library starts is the one beside the library
// itself, found without any set-up.
#include "vksacc.h"
#include "vks_platform.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/')); }

class AudioHelperTest : public vkstest::SimEngineTest {};

TEST_F(AudioHelperTest, HelperBesideTheLibraryIsStartedWithoutSetUp) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
    vkstest::DebugCapture capture;
    AddDevice(1, 1);
    Load();
    ASSERT_EQ(VKSDecoderDeviceSetAudioDecodeEnabled(1), VKSERROR_NO_ERROR);
    const HVKS decoder = OpenDecoder();
    const auto lines = capture.Matching("LaunchProcess: Success - dwProcessId:");
    ASSERT_EQ(lines.size(), 1u);
    const std::string pid = lines[0].substr(lines[0].find(':', lines[0].find("dwProcessId")) + 1);
    char program[PATH_MAX] = {};
    ASSERT_GT(readlink(("/proc/" + std::to_string(std::atoi(pid.c_str())) + "/exe").c_str(), program, PATH_MAX - 1), 0);
    Dl_info library{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&VKSEngineLoad), &library), 0);
    char libraryPath[PATH_MAX] = {};
    ASSERT_NE(realpath(library.dli_fname, libraryPath), nullptr);
    EXPECT_EQ(Folder(program), Folder(libraryPath));
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    VKSDecoderDeviceSetAudioDecodeEnabled(0);
}

}  // namespace
