#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace vksctl {

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back()) text_ += ',';
        hasMember_.back() = true;
    }
}

JsonWriter& JsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    hasMember_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    text_ += '}';
    hasMember_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    hasMember_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    text_ += ']';
    hasMember_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(const std::string& name) {
    String(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
    BeforeValue();
    text_ += '"';
    for (unsigned char c : value) {
        switch (c) {
            case '"': text_ += "\\\""; break;
            case '\\': text_ += "\\\\"; break;
            case '\n': text_ += "\\n"; break;
            case '\r': text_ += "\\r"; break;
            case '\t': text_ += "\\t"; break;
            default:
                // Text from the A exports is in the ANSI code page
                // (Windows-1252); bytes above 0x7F are written as the
                // Latin-1 characters they mostly are, so the output stays
                // valid UTF-8 whatever the device reports.
                if (c < 0x20 || c >= 0x80) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    text_ += escape;
                } else {
                    text_ += static_cast<char>(c);
                }
        }
    }
    text_ += '"';
    return *this;
}

JsonWriter& JsonWriter::Number(uint64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Number(double value) {
    BeforeValue();
    if (!std::isfinite(value)) {
        text_ += "null";  // JSON has no infinities
        return *this;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    text_ += text;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

void JsonWriter::Print() const { std::printf("%s\n", text_.c_str()); }

}  // namespace vksctl
