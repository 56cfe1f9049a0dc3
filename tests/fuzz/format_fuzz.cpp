// The wide formatter with conversions built from the input: every flag,
// width and precision (given or through '*', extremes included), length
// prefix and conversion, each called with an argument of the type it reads,
// into buffers of every size with and without truncation. The output stays in
// the buffer, is terminated, and the call is quick whatever the width asks.
#include "vks_platform.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

constexpr char16_t kFlags[] = u"-+ 0#";
constexpr const char16_t* kLengths[] = {u"", u"hh", u"h", u"l", u"ll", u"w", u"I64", u"I32", u"I", u"z", u"L"};
constexpr char16_t kConversions[] = u"diuoxXcCsSpfeEgGaAn%";

int StarValue(FuzzInput& in) {
    static constexpr int kEdges[] = {0, 1, -1, 5, -5, 300, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1};
    const uint8_t pick = in.Byte();
    return pick < 200 ? kEdges[pick % (sizeof kEdges / sizeof kEdges[0])] : in.Value<int>();
}

struct Call {
    std::vector<WCHAR> buffer;
    size_t count;
    const WCHAR* format;

    template <typename... Args>
    void Run(Args... args) {
        const int r = _snwprintf_s(buffer.data() + 1, buffer.size() - 2, count, format, args...);
        // Guard units around the buffer stay as they were; the text ends
        // inside the buffer.
        FuzzCheck(buffer.front() == 0xBEEF && buffer.back() == 0xBEEF && r < static_cast<int>(buffer.size() - 2) &&
                  std::find(buffer.begin() + 1, buffer.end() - 1, 0) != buffer.end() - 1);
    }
};

template <typename... Stars>
void WithValue(Call& call, FuzzInput& in, char16_t conversion, bool narrowText, bool longLong, Stars... stars) {
    static const char narrowText8[] = "narrow \xE9 text";
    static const char16_t wideText[] = u"wide \u00E9\U0001F600 text";
    switch (conversion) {
        case u'd': case u'i': case u'u': case u'o': case u'x': case u'X': case u'c': case u'C':
            longLong ? call.Run(stars..., in.Value<long long>()) : call.Run(stars..., in.Value<int>());
            break;
        case u's': case u'S':
            if (in.Byte() & 1)
                call.Run(stars..., static_cast<const void*>(nullptr));
            else
                call.Run(stars..., narrowText ? static_cast<const void*>(narrowText8) : wideText);
            break;
        case u'p': case u'n':
            call.Run(stars..., reinterpret_cast<void*>(in.Value<uintptr_t>()));
            break;
        case u'%':
            call.Run(stars...);
            break;
        default: {
            static constexpr double kDoubles[] = {0.0, -0.0, 1.5, -1e300, 1e308, 5e-324, __builtin_inf(), -__builtin_inf(),
                                                  __builtin_nan("")};
            const uint8_t pick = in.Byte();
            call.Run(stars..., pick < 128 ? kDoubles[pick % 9] : in.Value<double>());
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    while (!in.Empty()) {
        std::u16string format = u"<";
        const uint8_t flags = in.Byte();
        for (int i = 0; i < 5; ++i)
            if (flags & (1 << i)) format += kFlags[i];
        format.insert(1, u"%");
        const uint8_t shape = in.Byte();
        const int width = shape & 3, precision = (shape >> 2) & 3;
        const bool starWidth = width == 1, starPrecision = precision == 1;
        const auto digits = [&in] { return std::u16string(1 + in.Byte() % 12, u'9'); };  // overlong digit runs
        format += width == 1 ? u"*" : width == 2 ? digits() : width == 3 ? u"17" : u"";
        format += precision == 1 ? u".*" : precision == 2 ? u"." + digits() : precision == 3 ? u".3" : u"";
        const char16_t* length = kLengths[in.Byte() % (sizeof kLengths / sizeof kLengths[0])];
        format += length;
        const char16_t conversion = kConversions[in.Byte() % (sizeof kConversions / sizeof kConversions[0] - 1)];
        format += conversion;
        format += u">";
        const std::u16string lengthText = length;
        const bool longLong = lengthText == u"ll" || lengthText == u"I64" || lengthText == u"I" || lengthText == u"z";
        const bool narrowText = lengthText == u"h" || lengthText == u"hh" ||
                                (conversion == u'S' && lengthText != u"l" && lengthText != u"w");

        const size_t units = 1 + in.Byte() % 40;
        Call call{std::vector<WCHAR>(units + 2, 0xBEEF), in.Byte() & 1 ? _TRUNCATE : in.Byte() % (units + 2),
                  reinterpret_cast<const WCHAR*>(format.c_str())};
        if (starWidth && starPrecision)
            WithValue(call, in, conversion, narrowText, longLong, StarValue(in), StarValue(in));
        else if (starWidth || starPrecision)
            WithValue(call, in, conversion, narrowText, longLong, StarValue(in));
        else
            WithValue(call, in, conversion, narrowText, longLong);
    }
    return 0;
}
