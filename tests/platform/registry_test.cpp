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
#include <utility>
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

// A DWORD value of an open key: the status and the value.
using Dword = std::pair<LSTATUS, DWORD>;
Dword QueryDword(HKEY key, const char16_t* name) {
    DWORD v = 0, size = sizeof v;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size);
    return {status, v};
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

// A file with problems: one line on standard error names the file, the first
// bad line and how many more; the good values stay. A reload reaches the keys
// already open, and a key the new file (or no file) lacks is deleted for them.
TEST_F(RegistryApi, DiagnosticAndReload) {
    std::string path = TempPath("bad.reg");
    ::testing::internal::CaptureStderr();
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n\"B\"=dword:xyz\n\"C\"=bogus\n\"D\"=dword:4\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find("line 5"), std::string::npos) << err;
    EXPECT_NE(err.find("1 more"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"K", 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(k, u"A"), Dword(ERROR_SUCCESS, 1));
    EXPECT_EQ(QueryDword(k, u"D"), Dword(ERROR_SUCCESS, 4));
    EXPECT_EQ(QueryDword(k, u"B").first, ERROR_FILE_NOT_FOUND);

    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:2\n");
    EXPECT_EQ(QueryDword(k, u"A"), Dword(ERROR_SUCCESS, 2));
    // The file gone: no keys (those open are deleted), but the predefined root itself exists.
    unlink(path.c_str());
    VksReloadRegistry();
    EXPECT_EQ(QueryDword(k, u"A").first, ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    k = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"K", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(k, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryApi, ConcurrentReadersAndReloads) {
    std::string path = TempPath("threads.reg");
    UseRegistry(path, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:7\n");
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                HKEY k = nullptr;
                if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"K", 0, KEY_READ, &k) != ERROR_SUCCESS) ++wrong;
                if (QueryDword(k, u"A") != Dword(ERROR_SUCCESS, 7)) ++wrong;
                RegCloseKey(k);
            }
        });
    }
    for (int i = 0; i < 50; ++i) VksReloadRegistry();
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrong.load(), 0);
    unlink(path.c_str());
}
