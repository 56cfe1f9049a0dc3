// A small writer of JSON documents: commas, nesting and string escapes, so
// that every listing vksctl prints with --json parses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vksctl {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member of the innermost object.
    JsonWriter& Key(const std::string& name);
    JsonWriter& String(const std::string& value);
    JsonWriter& Number(uint64_t value);
    JsonWriter& Number(double value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // Shorthands for one member.
    JsonWriter& Member(const std::string& name, const std::string& value) { return Key(name).String(value); }
    JsonWriter& Member(const std::string& name, const char* value) { return Key(name).String(value); }
    JsonWriter& Member(const std::string& name, uint64_t value) { return Key(name).Number(value); }
    JsonWriter& Member(const std::string& name, uint32_t value) { return Key(name).Number(uint64_t{value}); }
    JsonWriter& Member(const std::string& name, int value) { return Key(name).Number(static_cast<uint64_t>(value)); }
    JsonWriter& Member(const std::string& name, double value) { return Key(name).Number(value); }
    JsonWriter& Member(const std::string& name, bool value) { return Key(name).Bool(value); }

    const std::string& Text() const { return text_; }
    // Writes the document and a line end to standard output.
    void Print() const;

private:
    void BeforeValue();

    std::string text_;
    // Per open container: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

}  // namespace vksctl
