// Parser of the "Windows Registry Editor Version 5.00" text format (and its
// older "REGEDIT4" form, read with the same rules).
#include "vks_platform.h"
#include "vks_registry_internal.h"
#include "vks_text_internal.h"

namespace vks::registry {

const char16_t* const kRootNames[kRootCount] = {
    u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
    u"HKEY_USERS",        u"HKEY_PERFORMANCE_DATA", u"HKEY_CURRENT_CONFIG",
};

std::u16string Fold(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out) c = text::FoldLower(c);
    return out;
}

std::vector<std::u16string> SplitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos) j = path.size();
        if (j > i) parts.push_back(Fold(path.substr(i, j - i)));
        i = j + 1;
    }
    return parts;
}

const Key* Find(const Tree& tree, int root, const std::vector<std::u16string>& foldedPath) {
    if (root < 0 || root >= kRootCount) return nullptr;
    const Key* k = &tree.roots[root];
    for (const auto& part : foldedPath) {
        auto it = k->children.find(part);
        if (it == k->children.end()) return nullptr;
        k = it->second.get();
    }
    return k;
}

namespace {

std::u16string Decode(const std::string& bytes) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    if (n >= 2 && s[0] == 0xFF && s[1] == 0xFE) {
        out.reserve(n / 2);
        for (size_t i = 2; i + 1 < n; i += 2) out.push_back(static_cast<char16_t>(s[i] | (s[i + 1] << 8)));
        return out;
    }
    size_t i = (n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) ? 3 : 0;
    out.reserve(n);
    while (i < n) {
        char32_t cp = text::DecodeUtf8(s, n, i, nullptr);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWithI(std::u16string_view s, std::u16string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (text::FoldLower(s[i]) != text::FoldLower(prefix[i])) return false;
    return true;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads a quoted text starting at s[i] == '"'; \\ and \" are escapes. Leaves
// i after the closing quote. False when the quote is not closed.
bool ReadQuoted(std::u16string_view s, size_t& i, std::u16string& out) {
    ++i;
    while (i < s.size()) {
        char16_t c = s[i++];
        if (c == u'"') return true;
        if (c == u'\\' && i < s.size() && (s[i] == u'\\' || s[i] == u'"')) c = s[i++];
        out.push_back(c);
    }
    return false;
}

// Reads comma-separated hex byte pairs ("00,ff, 1a,") into out.
bool ReadHexList(std::u16string_view s, std::vector<uint8_t>& out) {
    size_t i = 0;
    s = Trim(s);
    while (i < s.size()) {
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size()) break;
        int hi = HexDigit(s[i]);
        int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i < s.size()) {
            if (s[i] != u',') return false;
            ++i;
        }
    }
    return true;
}

void PutUtf16(std::vector<uint8_t>& data, std::u16string_view text) {
    for (char16_t c : text) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
}

class Parser {
public:
    Parser(Tree& tree, ParseResult& result) : tree_(tree), result_(result) {}

    void Bad(int line, const char* problem) {
        if (result_.badLines++ == 0) {
            result_.firstBadLine = line;
            result_.firstProblem = problem;
        }
    }

    void KeyLine(std::u16string_view body, int line) {
        current_ = nullptr;
        bool remove = !body.empty() && body.front() == u'-';
        if (remove) body.remove_prefix(1);
        size_t slash = body.find(u'\\');
        std::u16string_view rootName = body.substr(0, slash);
        int root = -1;
        for (int r = 0; r < kRootCount; ++r)
            if (Fold(rootName) == Fold(kRootNames[r])) root = r;
        if (root < 0) {
            Bad(line, "unknown root key (expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, ...)");
            return;
        }
        auto parts = SplitPath(slash == std::u16string_view::npos ? std::u16string_view() : body.substr(slash + 1));
        Key* k = &tree_.roots[root];
        if (remove) {
            if (parts.empty()) {
                Bad(line, "a root key cannot be deleted");
                return;
            }
            for (size_t i = 0; i + 1 < parts.size(); ++i) {
                auto it = k->children.find(parts[i]);
                if (it == k->children.end()) return;
                k = it->second.get();
            }
            k->children.erase(parts.back());
            return;
        }
        for (const auto& part : parts) {
            auto& child = k->children[part];
            if (!child) child = std::make_unique<Key>();
            k = child.get();
        }
        current_ = k;
    }

    void ValueLine(std::u16string_view s, int line) {
        size_t i = 0;
        std::u16string name;
        if (s[0] == u'@') {
            i = 1;
        } else if (s[0] == u'"') {
            if (!ReadQuoted(s, i, name)) {
                Bad(line, "value name: missing closing quote");
                return;
            }
        } else {
            Bad(line, "expected [key], \"name\"=data or @=data");
            return;
        }
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size() || s[i] != u'=') {
            Bad(line, "expected '=' after the value name");
            return;
        }
        ++i;
        while (i < s.size() && IsSpace(s[i])) ++i;
        std::u16string_view data = s.substr(i);
        if (!current_) {
            // The values of an unreadable key section are skipped with it;
            // a value before any section is a problem of its own.
            if (!sawKey_) Bad(line, "value before any [key] line");
            return;
        }
        const std::u16string folded = Fold(name);
        if (data == u"-") {
            current_->values.erase(folded);
            return;
        }
        Value v;
        if (!data.empty() && data[0] == u'"') {
            size_t j = 0;
            std::u16string str;
            if (!ReadQuoted(data, j, str)) {
                Bad(line, "string data: missing closing quote");
                return;
            }
            std::u16string_view rest = Trim(data.substr(j));
            if (!rest.empty() && rest[0] != u';') {
                Bad(line, "unexpected text after the closing quote");
                return;
            }
            v.type = REG_SZ;
            PutUtf16(v.data, str);
        } else if (StartsWithI(data, u"dword:")) {
            std::u16string_view digits = Trim(data.substr(6));
            if (digits.empty() || digits.size() > 8) {
                Bad(line, "dword data: expected 1 to 8 hex digits");
                return;
            }
            DWORD d = 0;
            for (char16_t c : digits) {
                int h = HexDigit(c);
                if (h < 0) {
                    Bad(line, "dword data: expected 1 to 8 hex digits");
                    return;
                }
                d = d * 16 + static_cast<DWORD>(h);
            }
            v.type = REG_DWORD;
            for (int b = 0; b < 4; ++b) v.data.push_back(static_cast<uint8_t>(d >> (8 * b)));
        } else if (StartsWithI(data, u"hex")) {
            size_t j = 3;
            DWORD type = REG_BINARY;
            if (j < data.size() && data[j] == u'(') {
                size_t close = data.find(u')', j);
                if (close == std::u16string_view::npos || close == j + 1 || close - j > 9) {
                    Bad(line, "hex(type): bad type number");
                    return;
                }
                type = 0;
                for (size_t k = j + 1; k < close; ++k) {
                    int h = HexDigit(data[k]);
                    if (h < 0) {
                        Bad(line, "hex(type): bad type number");
                        return;
                    }
                    type = type * 16 + static_cast<DWORD>(h);
                }
                j = close + 1;
            }
            if (j >= data.size() || data[j] != u':') {
                Bad(line, "hex data: expected ':'");
                return;
            }
            v.type = type;
            if (!ReadHexList(data.substr(j + 1), v.data)) {
                Bad(line, "hex data: expected comma-separated byte pairs");
                return;
            }
            if (regedit4_ && (type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
                // REGEDIT4 files hold these texts as ANSI bytes; the registry
                // stores UTF-16.
                std::vector<uint8_t> wide;
                for (uint8_t b : v.data) {
                    char16_t c = text::Cp1252ToUnit(b);
                    wide.push_back(static_cast<uint8_t>(c & 0xFF));
                    wide.push_back(static_cast<uint8_t>(c >> 8));
                }
                v.data = std::move(wide);
            }
        } else {
            Bad(line, "unknown data type (expected \"text\", dword:, hex:, hex(n): or -)");
            return;
        }
        current_->values[folded] = std::move(v);
    }

    void Line(std::u16string_view s, int line) {
        s = Trim(s);
        if (s.empty() || s[0] == u';') return;
        if (!sawHeader_) {
            if (s == u"Windows Registry Editor Version 5.00" || s == u"REGEDIT4") {
                sawHeader_ = true;
                regedit4_ = s == u"REGEDIT4";
                return;
            }
            Bad(line, "missing header line \"Windows Registry Editor Version 5.00\"; the file is ignored");
            stop_ = true;
            return;
        }
        if (s[0] == u'[') {
            size_t close = s.rfind(u']');
            if (close == std::u16string_view::npos) {
                current_ = nullptr;
                sawKey_ = true;
                Bad(line, "key line without closing ']'");
                return;
            }
            sawKey_ = true;
            KeyLine(s.substr(1, close - 1), line);
            return;
        }
        ValueLine(s, line);
    }

    bool stop_ = false;

private:
    Tree& tree_;
    ParseResult& result_;
    Key* current_ = nullptr;
    bool sawHeader_ = false;
    bool sawKey_ = false;
    bool regedit4_ = false;
};

}  // namespace

ParseResult Parse(const std::string& bytes, Tree& tree) {
    ParseResult result;
    Parser parser(tree, result);
    std::u16string text = Decode(bytes);
    std::u16string_view all(text);
    std::u16string logical;
    int lineNo = 0, logicalStart = 0;
    bool continuing = false;
    size_t pos = 0;
    while (pos < all.size() && !parser.stop_) {
        size_t end = all.find(u'\n', pos);
        if (end == std::u16string_view::npos) end = all.size();
        std::u16string_view physical = all.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        std::u16string_view trimmed = Trim(physical);
        if (!continuing) {
            logical.clear();
            logicalStart = lineNo;
        } else if (!trimmed.empty() && trimmed[0] == u';') {
            continue;  // regedit allows comment lines inside continued hex data
        }
        // A trailing backslash continues a value line (hex data spread over
        // lines); key lines and comments end where they end.
        bool continues = !trimmed.empty() && trimmed.back() == u'\\' && (continuing || (trimmed[0] != u'[' && trimmed[0] != u';'));
        if (continues) trimmed.remove_suffix(1);
        logical.append(continuing ? Trim(trimmed) : trimmed);
        continuing = continues;
        if (!continuing) parser.Line(logical, logicalStart);
    }
    if (continuing && !parser.stop_) parser.Line(logical, logicalStart);
    return result;
}

}  // namespace vks::registry
