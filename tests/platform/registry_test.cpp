// The registry file reader: parsing of the "Registry Editor" text format and
// the Reg* functions over it.
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"
#include "vks_registry_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vks::registry;

namespace {

const Value* ValueAt(const Tree& tree, const char16_t* path, const char16_t* name) {
    auto parts = SplitPath(path);
    int root = -1;
    for (int r = 0; r < kRootCount; ++r)
        if (Fold(kRootNames[r]) == parts[0]) root = r;
    parts.erase(parts.begin());
    const Key* key = Find(tree, root, parts);
    if (!key) return nullptr;
    auto it = key->values.find(Fold(name));
    return it == key->values.end() ? nullptr : &it->second;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string TempPath(const char* name) {
    return std::string(::testing::TempDir()) + "/vks_reg_" + std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Points VKS_REGISTRY_FILE at a file with the given text and reloads.
void UseRegistry(const std::string& path, const std::string& bytes) {
    WriteFile(path, bytes);
    setenv("VKS_REGISTRY_FILE", path.c_str(), 1);
    VksReloadRegistry();
}

DWORD QueryDword(HKEY root, const char16_t* key, const char16_t* name, LSTATUS* status) {
    HKEY k = nullptr;
    *status = RegOpenKeyExW(root, key, 0, KEY_READ, &k);
    if (*status) return 0;
    DWORD v = 0, size = sizeof v, type = 0;
    *status = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(k);
    return v;
}

class RegistryApi : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("VKS_REGISTRY_FILE");
        VksReloadRegistry();
    }
};

}  // namespace

// Value types, escapes, continued lines and deletions are read back through
// the Reg* calls by conf_registry from conformance.reg; these are the rest.
TEST(RegistryParse, CrLfCommentsNoneTypeAndSectionsMergedAcrossCase) {
    Tree tree;
    auto r = Parse(kHeader +
                       "; a comment\r\n"
                       "[HKEY_CURRENT_USER\\A\\B]\r\n"
                       "\"Keep\"=dword:1\r\n"
                       "\"N\"=hex(0):\r\n"
                       "[hkey_current_user\\a\\b]\r\n"  // the same key, other case
                       "\"More\"=dword:3\r\n",
                   tree);
    EXPECT_EQ(r.badLines, 0) << r.firstProblem;
    const Value* keep = ValueAt(tree, u"HKEY_CURRENT_USER\\A\\B", u"Keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_NE(ValueAt(tree, u"HKEY_CURRENT_USER\\A\\B", u"More"), nullptr);
    const Value* none = ValueAt(tree, u"HKEY_CURRENT_USER\\A\\B", u"N");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->type, static_cast<DWORD>(REG_NONE));
    EXPECT_TRUE(none->data.empty());
}

TEST(RegistryParse, MalformedLinesAreSkippedAndCounted) {
    Tree tree;
    auto r = Parse(kHeader +                          // lines 1-2
                       "[HKEY_LOCAL_MACHINE\\K]\n"    // 3
                       "\"Good\"=dword:00000001\n"    // 4
                       "\"TooLong\"=dword:123456789\n"  // 5
                       "\"BadHex\"=hex:zz\n"          // 6
                       "\"Open=\"x\n"                 // 7
                       "garbage\n"                    // 8
                       "[HKEY_NOWHERE\\K]\n"          // 9
                       "\"Lost\"=dword:1\n"           // 10
                       "[HKEY_LOCAL_MACHINE\\K]\n"    // 11
                       "\"Later\"=dword:2\n",         // 12
                   tree);
    EXPECT_EQ(r.firstBadLine, 5);
    EXPECT_EQ(r.badLines, 5);
    EXPECT_NE(ValueAt(tree, u"HKEY_LOCAL_MACHINE\\K", u"Good"), nullptr);
    EXPECT_NE(ValueAt(tree, u"HKEY_LOCAL_MACHINE\\K", u"Later"), nullptr);
    EXPECT_EQ(ValueAt(tree, u"HKEY_LOCAL_MACHINE\\K", u"TooLong"), nullptr);
    EXPECT_EQ(ValueAt(tree, u"HKEY_LOCAL_MACHINE\\K", u"BadHex"), nullptr);
}

TEST(RegistryParse, MissingHeaderIgnoresTheFile) {
    Tree tree;
    auto r = Parse("[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n", tree);
    EXPECT_EQ(r.firstBadLine, 1);
    EXPECT_EQ(Find(tree, 2, SplitPath(u"K")), nullptr);
}

TEST(RegistryParse, Utf16WithBomAndUtf8Names) {
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Caf\u00e9]\r\n\"N\u00e4me\"=\"\u20ac\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    Tree tree;
    auto r = Parse(bytes, tree);
    EXPECT_EQ(r.badLines, 0) << r.firstProblem;
    const Value* v = ValueAt(tree, u"HKEY_LOCAL_MACHINE\\CAF\u00c9", u"N\u00c4ME");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, (std::vector<uint8_t>{0xAC, 0x20, 0, 0}));

    Tree tree8;
    std::string utf8 = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Caf\xC3\xA9]\n\"A\"=dword:1\n";
    EXPECT_EQ(Parse(utf8, tree8).badLines, 0);
    EXPECT_NE(ValueAt(tree8, u"HKEY_LOCAL_MACHINE\\caf\u00e9", u"A"), nullptr);
}

TEST(RegistryParse, Regedit4ExpandStringsAreAnsi) {
    Tree tree;
    auto r = Parse("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"E\"=hex(2):41,80,00\n", tree);
    EXPECT_EQ(r.badLines, 0) << r.firstProblem;
    const Value* v = ValueAt(tree, u"HKEY_LOCAL_MACHINE\\K", u"E");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, (std::vector<uint8_t>{0x41, 0, 0xAC, 0x20, 0, 0}));  // 0x80 is the euro sign
}

TEST_F(RegistryApi, AbsentFileMeansNoKeys) {
    setenv("VKS_REGISTRY_FILE", "/nonexistent/vks.reg", 1);
    VksReloadRegistry();
    HKEY k = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(k, nullptr);
    // The predefined root itself exists.
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryApi, BadHandlesAndParameters) {
    // (Queries and closes on a closed key are checked by conf_registry.)
    HKEY k = nullptr;
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x1234), u"X", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"X", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, DiagnosticNamesFileAndLineOnce) {
    std::string path = TempPath("bad.reg");
    ::testing::internal::CaptureStderr();
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n\"B\"=dword:xyz\n\"C\"=bogus\n\"D\"=dword:4\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find("line 5"), std::string::npos) << err;
    EXPECT_NE(err.find("1 more"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    LSTATUS st;
    EXPECT_EQ(QueryDword(HKEY_LOCAL_MACHINE, u"K", u"A", &st), 1u);
    EXPECT_EQ(st, ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(HKEY_LOCAL_MACHINE, u"K", u"D", &st), 4u);
    QueryDword(HKEY_LOCAL_MACHINE, u"K", u"B", &st);
    EXPECT_EQ(st, ERROR_FILE_NOT_FOUND);
    unlink(path.c_str());
}

TEST_F(RegistryApi, ReloadAndOpenKeys) {
    std::string path = TempPath("reload.reg");
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n");
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"K", 0, KEY_READ, &k), ERROR_SUCCESS);
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:2\n");
    DWORD v = 0, size = sizeof v;
    EXPECT_EQ(RegQueryValueExW(k, u"A", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
    EXPECT_EQ(v, 2u);
    UseRegistry(path, kHeader);
    EXPECT_EQ(RegQueryValueExW(k, u"A", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    unlink(path.c_str());
}

TEST_F(RegistryApi, ConcurrentReadersAndReloads) {
    std::string path = TempPath("threads.reg");
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:7\n");
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                LSTATUS st;
                if (QueryDword(HKEY_LOCAL_MACHINE, u"K", u"A", &st) != 7u || st != ERROR_SUCCESS) ++wrong;
            }
        });
    }
    for (int i = 0; i < 50; ++i) VksReloadRegistry();
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrong.load(), 0);
    unlink(path.c_str());
}
