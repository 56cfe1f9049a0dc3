// The simulator's configuration text: [device] sections of key = value lines
// (format in sim/README.md).
#include "sim_internal.h"

#include <cstdlib>
#include <sstream>

namespace vkssim::detail {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

// UTF-8 to UTF-16; false on malformed input.
bool Utf16(const std::string& s, std::u16string* out) {
    out->clear();
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int extra;
        if (b < 0x80) {
            cp = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra && i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

bool Number(const std::string& s, uint32_t* v) {
    if (s.empty()) return false;
    char* end = nullptr;
    unsigned long long n = std::strtoull(s.c_str(), &end, 0);
    if (*end != 0 || n > 0xFFFFFFFFull) return false;
    *v = static_cast<uint32_t>(n);
    return true;
}

// "3.2" gives 0x00030002; a plain number is taken as it is.
bool Version(const std::string& s, uint32_t* v) {
    size_t dot = s.find('.');
    if (dot == std::string::npos) return Number(s, v);
    uint32_t major, minor;
    if (!Number(s.substr(0, dot), &major) || !Number(s.substr(dot + 1), &minor) || major > 0xFFFF || minor > 0xFFFF)
        return false;
    *v = (major << 16) | minor;
    return true;
}

}  // namespace

bool ParseConfig(const std::string& text, std::vector<DeviceConfig>* devices, std::string* error,
                 std::vector<DeviceExtras>* extras) {
    std::vector<DeviceExtras> parsedExtras;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    DeviceConfig* current = nullptr;
    auto fail = [&](const std::string& what) {
        if (error) *error = "line " + std::to_string(number) + ": " + what;
        return false;
    };
    while (std::getline(lines, line)) {
        ++number;
        std::string s = Trim(line);
        if (s.empty() || s[0] == '#' || s[0] == ';') continue;
        if (s[0] == '[') {
            if (Lower(s) != "[device]") return fail("unknown section " + s);
            devices->emplace_back();
            current = &devices->back();
            parsedExtras.emplace_back();
            continue;
        }
        size_t eq = s.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        if (!current) return fail("a key outside a [device] section");
        std::string key = Lower(Trim(s.substr(0, eq))), value = Trim(s.substr(eq + 1));
        uint32_t n = 0;
        if (key == "name" || key == "location" || key == "path") {
            std::u16string u;
            if (!Utf16(value, &u)) return fail("malformed UTF-8 in " + key);
            (key == "name" ? current->name : key == "location" ? current->location : current->interfacePath) = u;
        } else if (key == "network" || key == "decoders" || key == "encoders" || key == "discovery") {
            if (!Number(value, &n) || n > 64) return fail("bad count for " + key);
            uint32_t type = key == "network"    ? VKSSIM_TYPE_NETWORK
                            : key == "decoders" ? VKSSIM_TYPE_DECODER
                            : key == "encoders" ? VKSSIM_TYPE_ENCODER
                                                : VKSSIM_TYPE_DISCOVERY;
            current->inputs[type] = n;
        } else if (key == "serial") {
            if (!Number(value, &current->serial)) return fail("bad serial");
        } else if (key == "firmware") {
            if (!Version(value, &current->firmware)) return fail("bad firmware version");
        } else if (key == "streams_per_port") {
            if (!Number(value, &n) || n == 0) return fail("bad streams_per_port");
            current->streamsPerPort = n;
        } else if (key == "auto_events") {
            if (!Number(value, &n) || n > 1) return fail("auto_events takes 0 or 1");
            current->autoEvents = n != 0;
        } else if (key == "stream_audio") {
            if (!Number(value, &n) || n > 1) return fail("stream_audio takes 0 or 1");
            current->streamAudio = n != 0;
        } else if (key == "audio_tone_hz") {
            if (!Number(value, &n) || n == 0 || n > 20000) return fail("bad audio_tone_hz");
            current->audioToneHz = n;
        } else if (key == "audio_fault") {
            const std::string v = Lower(value);
            if (v == "none") current->audioFault = DecoderAudioFault::None;
            else if (v == "short") current->audioFault = DecoderAudioFault::ShortDelivery;
            else if (v == "none_delivered") current->audioFault = DecoderAudioFault::NoDelivery;
            else if (v == "fail_start") current->audioFault = DecoderAudioFault::FailStart;
            else if (v == "over_report") current->audioFault = DecoderAudioFault::OverReport;
            else return fail("audio_fault takes none, short, none_delivered, fail_start or over_report");
        } else if (key == "audio_fault_count") {
            if (value == "-1") current->audioFaultCount = -1;
            else if (!Number(value, &n) || n > 0x7FFFFFFF) return fail("bad audio_fault_count");
            else current->audioFaultCount = static_cast<int>(n);
        } else if (key == "stream_interval_ms") {
            if (!Number(value, &n) || n > 60000) return fail("bad stream_interval_ms");
            parsedExtras.back().streamIntervalMs = static_cast<int>(n);
        } else if (key == "discovered") {
            if (!Number(value, &n) || n > 64) return fail("bad count for discovered");
            parsedExtras.back().discovered = n;
        } else if (key == "notify_on_info") {
            std::istringstream codes(value);
            std::string code;
            while (std::getline(codes, code, ',')) {
                if (!Number(Trim(code), &n)) return fail("bad code in notify_on_info");
                parsedExtras.back().notifyOnInfo.push_back(n);
            }
        } else {
            return fail("unknown key " + key);
        }
    }
    if (extras) *extras = std::move(parsedExtras);
    return true;
}

}  // namespace vkssim::detail
