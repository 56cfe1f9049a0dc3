// The registry's in-memory tree and the parser of "Registry Editor" text
// files. Internal to the platform layer; the unit tests use it directly.
#pragma once

#include "vks_win32/types.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vks::registry {

// Keys and value names compare case-insensitively: maps are keyed by the
// folded name.
std::u16string Fold(std::u16string_view name);

struct Value {
    DWORD type = 0;
    std::vector<uint8_t> data;
};

struct Key {
    std::map<std::u16string, std::unique_ptr<Key>> children;  // by folded name
    std::map<std::u16string, Value> values;                   // by folded name; "" is the default value
};

// The predefined roots, in the order of their HKEY values 0x80000000 + index.
constexpr int kRootCount = 6;
extern const char16_t* const kRootNames[kRootCount];  // "HKEY_CLASSES_ROOT", ...

struct Tree {
    Key roots[kRootCount];
};

struct ParseResult {
    int firstBadLine = 0;  // 0: no problem
    std::string firstProblem;
    int badLines = 0;
};

// Parses the bytes of a registry text file (UTF-8, with or without BOM, or
// UTF-16LE with BOM) into tree. Lines it cannot read are skipped and counted.
ParseResult Parse(const std::string& bytes, Tree& tree);

// Finds the key at root index + backslash-separated path; null when absent.
const Key* Find(const Tree& tree, int root, const std::vector<std::u16string>& foldedPath);

// Splits a subkey path at backslashes into folded components (empty
// components are dropped).
std::vector<std::u16string> SplitPath(std::u16string_view path);

}  // namespace vks::registry
