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

std::string Utf16(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// Value types, escapes, continued lines and deletions are read back through
// the Reg* calls by conf_registry from conformance.reg; these are the rest:
// each file's problems, and values that must be there (with their bytes) or
// must not (absent).
TEST(RegistryParse, Files) {
    struct Expect {
        const char16_t* key;
        const char16_t* name;
        std::vector<uint8_t> data;
        bool absent = false;
    };
    const struct {
        std::string text;
        int firstBadLine, badLines;
        std::vector<Expect> values;
    } files[] = {
        {kHeader + "; a comment\r\n[HKEY_CURRENT_USER\\A\\B]\r\n\"Keep\"=dword:1\r\n\"N\"=hex(0):\r\n"
                   "[hkey_current_user\\a\\b]\r\n\"More\"=dword:3\r\n",  // the same key, other case
         0, 0, {{u"HKEY_CURRENT_USER\\A\\B", u"Keep", {1, 0, 0, 0}}, {u"HKEY_CURRENT_USER\\A\\B", u"More", {3, 0, 0, 0}},
                {u"HKEY_CURRENT_USER\\A\\B", u"N", {}}}},
        {kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"Good\"=dword:00000001\n\"TooLong\"=dword:123456789\n\"BadHex\"=hex:zz\n"
                   "\"Open=\"x\ngarbage\n[HKEY_NOWHERE\\K]\n\"Lost\"=dword:1\n[HKEY_LOCAL_MACHINE\\K]\n\"Later\"=dword:2\n",
         5, 5, {{u"HKEY_LOCAL_MACHINE\\K", u"Good", {1, 0, 0, 0}}, {u"HKEY_LOCAL_MACHINE\\K", u"Later", {2, 0, 0, 0}},
                {u"HKEY_LOCAL_MACHINE\\K", u"TooLong", {}, true}, {u"HKEY_LOCAL_MACHINE\\K", u"BadHex", {}, true}}},
        {"[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n", 1, 1, {{u"HKEY_LOCAL_MACHINE\\K", u"A", {}, true}}},  // no header
        {Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Caf\u00e9]\r\n\"N\u00e4me\"=\"\u20ac\"\r\n"),
         0, 0, {{u"HKEY_LOCAL_MACHINE\\CAF\u00c9", u"N\u00c4ME", {0xAC, 0x20, 0, 0}}}},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Caf\xC3\xA9]\n\"A\"=dword:1\n", 0, 0,
         {{u"HKEY_LOCAL_MACHINE\\caf\u00e9", u"A", {1, 0, 0, 0}}}},
        // REGEDIT4 expandable strings are ANSI: 0x80 is the euro sign.
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"E\"=hex(2):41,80,00\n", 0, 0,
         {{u"HKEY_LOCAL_MACHINE\\K", u"E", {0x41, 0, 0xAC, 0x20, 0, 0}}}},
        {"\xFF\xFE", 0, 0, {}},  // an empty UTF-16 file: nothing to complain about
        {"", 0, 0, {}},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.text);
        Tree tree;
        const ParseResult r = Parse(f.text, tree);
        EXPECT_EQ(r.firstBadLine, f.firstBadLine) << r.firstProblem;
        EXPECT_EQ(r.badLines, f.badLines);
        for (const Expect& e : f.values) {
            const Value* v = ValueAt(tree, e.key, e.name);
            if (e.absent) {
                EXPECT_EQ(v, nullptr);
                continue;
            }
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->data, e.data);
            EXPECT_TRUE(!e.data.empty() || v->type == REG_NONE);
        }
    }
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
