// LoadLibraryW's search order and name mapping, export lookup limited to the
// module itself, and the DllMain stand-in (attach, refusal, detach).
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class Modules : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("VKS_DLL_PATH");
        unsetenv("VKS_TEST_REFUSE_ATTACH");
    }
    vkstest::DebugCapture capture_;
};

}  // namespace

TEST_F(Modules, FoundOnlyThroughTheSearchFolders) {
    // The platform library is found by its Windows-style name; the fixture
    // sits outside the program's and the platform library's folders.
    EXPECT_NE(GetModuleHandleW(u"vksplatform.dll"), nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"vks_test_fixture.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // An explicit folder, with either separator, finds it.
    const std::u16string dir = Widen(VKS_TEST_FIXTURE_DIR);
    HMODULE byPath = LoadLibraryW((dir + u"/vks_test_fixture.dll").c_str());
    ASSERT_NE(byPath, nullptr);
    EXPECT_EQ(LoadLibraryW((dir + u"\\libvks_test_fixture.so").c_str()), byPath);
    EXPECT_TRUE(FreeLibrary(byPath));
    EXPECT_TRUE(FreeLibrary(byPath));
    EXPECT_EQ(LoadLibraryW(u"/nonexistent/vks_test_fixture.dll"), nullptr);
    capture_.Clear();

    setenv("VKS_DLL_PATH", "/nonexistent:" VKS_TEST_FIXTURE_DIR, 1);
    HMODULE m = LoadLibraryW(u"vks_test_fixture.dll");
    ASSERT_NE(m, nullptr);
    // Without ".dll", and in another case: the same module, attached once.
    HMODULE again = LoadLibraryW(u"VKS_TEST_FIXTURE");
    EXPECT_EQ(again, m);
    EXPECT_EQ(capture_.Lines(), std::vector<std::u16string>{u"fixture attach"});

    // Its own exports are found (calling one, and the last error of a
    // missing one, are conf_module's); its dependencies' symbols are not its
    // exports.
    EXPECT_NE(GetProcAddress(m, "FixtureAnswer"), nullptr);
    EXPECT_EQ(GetProcAddress(m, "malloc"), nullptr);
    EXPECT_EQ(GetProcAddress(m, reinterpret_cast<LPCSTR>(1)), nullptr);  // ordinals

    WCHAR path[512];
    DWORD n = GetModuleFileNameW(m, path, 512);
    EXPECT_EQ(std::u16string(path, n), Widen(VKS_TEST_FIXTURE_DIR "/libvks_test_fixture.so"));
    WCHAR tiny[5];
    EXPECT_EQ(GetModuleFileNameW(m, tiny, 5), 5u);
    EXPECT_EQ(tiny[4], 0);
    EXPECT_EQ(std::u16string(tiny), u"/" + Widen(VKS_TEST_FIXTURE_DIR).substr(1, 3));

    // (Reference counting and the detach at the last free are conf_module's.)
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(m));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1234)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Modules, RefusedAttachFailsTheLoad) {
    setenv("VKS_DLL_PATH", VKS_TEST_FIXTURE_DIR, 1);
    setenv("VKS_TEST_REFUSE_ATTACH", "1", 1);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"vks_test_fixture.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(capture_.Lines(), (std::vector<std::u16string>{u"fixture attach", u"fixture detach"}));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(u"vks_test_fixture.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(Modules, NotAnObjectFile) {
    std::string dir = std::string(::testing::TempDir()) + "/vks_mod_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/libbogus.so") << "not an ELF file";
    setenv("VKS_DLL_PATH", dir.c_str(), 1);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"bogus.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    unlink((dir + "/libbogus.so").c_str());
    rmdir(dir.c_str());
}
