// Parameter commands: one parameter block per object kind, read as current,
// minimum, maximum or default values and written (or only tested) field group
// by field group as the flags word names them.
#include "sim_internal.h"

#include <algorithm>

namespace vkssim::detail {

namespace {

enum class Kind { U16, U32, S32, U64, Bytes };

// One field of a block. Numeric fields have a range and a default; byte
// fields (texts, headers, keys) are stored as given. Read-only fields report
// what the device measures and refuse to be written.
struct Field {
    uint32_t flags;
    uint32_t offset;
    Kind kind;
    uint32_t width;  // bytes
    int64_t minimum, maximum, initial;
    bool readOnly = false;
};

// Decoder block (480 bytes).
const Field kDecoderFields[] = {
    {0x1, 8, Kind::U16, 2, 64, 4096, 1920, true},    // picture width
    {0x2, 10, Kind::U16, 2, 64, 2160, 1080, true},   // picture height
    {0x8, 16, Kind::U32, 4, 20, 20, 20, true},       // size of the rates sub-block
    {0x8, 20, Kind::U32, 4, 1, 240, 60, true},       // render rate
    {0x8, 24, Kind::U32, 4, 0, 240, 30, true},       // input frame rate
    {0x8, 28, Kind::U32, 4, 0, 240, 60, true},       // output frame rate
    {0x8, 32, Kind::U32, 4, 0, 240, 0, true},        // dropped frames per second
    {0x10, 36, Kind::U32, 4, 0, 1, 0},               // cropping enabled
    {0x20, 40, Kind::U32, 4, 0, 4096, 0},            // cropping rectangle
    {0x20, 44, Kind::U32, 4, 0, 4096, 0},
    {0x20, 48, Kind::U32, 4, 0, 4096, 1920},
    {0x20, 52, Kind::U32, 4, 0, 4096, 1080},
    {0x40, 56, Kind::U32, 4, 0, 255, 0},             // second de-interlace value
    {0x80, 60, Kind::U32, 4, 0, 2, 1},               // de-interlace mode
    {0x200, 64, Kind::U32, 4, 0, 4096, 1920},        // scaling
    {0x200, 68, Kind::U32, 4, 0, 4096, 1080},
    {0x1000, 76, Kind::U32, 4, 0, 100, 80},          // audio volume
    {0x2000, 80, Kind::U32, 4, 0, 5000, 0},          // audio delay, ms
    {0x8000, 84, Kind::U32, 4, 0, 10000, 200},       // playback latency, ms
    {0x400, 108, Kind::Bytes, 8, 0, 0, 0},           // HDCP header
    {0x800, 116, Kind::Bytes, 32, 0, 0, 0},          // audio required format
    {0x4000, 148, Kind::U32, 4, 0, 2, 0},            // sync mode
    {0x10000, 152, Kind::U32, 4, 0, 1, 1},           // rate management control
    {0x80000, 412, Kind::Bytes, 33, 0, 0, 0},        // PSK entry, datatype 0
    {0x100000, 445, Kind::Bytes, 33, 0, 0, 0},       // PSK entry, datatype 1
};

// Encoder block (2208 bytes).
const Field kEncoderFields[] = {
    {0x1, 8, Kind::U32, 4, 20, 20, 20},              // frame-rate sub-block size
    {0x1, 12, Kind::U32, 4, 0, 60, 30},
    {0x1, 16, Kind::U32, 4, 1, 60, 30},              // frame rate
    {0x1, 20, Kind::U32, 4, 0, 60, 30},
    {0x1, 24, Kind::U32, 4, 0, 60, 30},
    {0x2, 28, Kind::U16, 2, 160, 1920, 1280},        // picture width
    {0x4, 30, Kind::U16, 2, 120, 1080, 720},         // picture height
    {0x8, 32, Kind::U32, 4, 64000, 40000000, 4000000},  // bit rate
    {0x10, 36, Kind::U32, 4, 66, 100, 100},          // profile
    {0x20, 40, Kind::U32, 4, 10, 51, 40},            // level
    {0x40, 44, Kind::U16, 2, 1, 600, 60},            // key-frame interval
    {0x80, 52, Kind::U32, 4, 0, 0xFFFFFFFF, 0},      // UDP multicast value
    {0x80, 56, Kind::Bytes, 32, 0, 0, 0},            // UDP multicast text
    {0x800, 88, Kind::U32, 4, 0, 0xFFFFFFFF, 0},     // RTSP value
    {0x800, 92, Kind::Bytes, 2048, 0, 0, 0},         // RTSP text
    {0x200, 2140, Kind::U32, 4, 12, 12, 12},         // HDCP sub-block size
    {0x200, 2144, Kind::Bytes, 8, 0, 0, 0},          // HDCP header
    {0x100, 2152, Kind::U32, 4, 0, 3, 0},            // encryption type
    {0x400, 2156, Kind::U32, 4, 0, 2, 0},            // codec
    {0x1000, 2160, Kind::U32, 4, 0, 3, 0},           // audio input channel
    {0x1000, 2164, Kind::U16, 2, 0, 1, 1},
    {0x2000, 2168, Kind::U32, 4, 40, 40, 40},        // audio sub-block size
    {0x2000, 2172, Kind::U32, 4, 0, 0xFFFFFFFF, 48000},
    {0x2000, 2176, Kind::U32, 4, 32, 32, 32},
    {0x2000, 2180, Kind::U32, 4, 0, 0xFFFFFFFF, 128000},
    {0x2000, 2188, Kind::U16, 2, 0, 0xFFFF, 2},
    {0x2000, 2192, Kind::U16, 2, 0, 0xFFFF, 16},
};

// Network-stream block (40 bytes).
const Field kNetworkFields[] = {
    {0x1, 8, Kind::U32, 4, 0, 10000, 1000},          // caching, ms
    {0x40, 12, Kind::U32, 4, 0, 60000, 5000},        // caching limit, ms
    {0x8, 16, Kind::U32, 4, 0, 2000, 100},           // jitter, ms
    {0x2, 20, Kind::U32, 4, 0, 5, 1},                // transport
    {0x4, 24, Kind::U32, 4, 0, 0x1FFF, 0},           // program identifier
    {0x10, 28, Kind::S32, 4, INT32_MIN, INT32_MAX, 0},  // seek time, 100 ns
    {0x20, 32, Kind::U64, 8, 0, INT64_MAX, 0},       // seek position
};

// Profiles and levels the encoder accepts (the support queries test these).
const uint32_t kProfiles[] = {66, 77, 100};
const uint32_t kLevels[] = {10, 11, 12, 13, 20, 21, 22, 30, 31, 32, 40, 41, 42};

struct Table {
    const Field* fields;
    size_t count;
    uint32_t size;
};

bool TableFor(uint32_t type, Table* t) {
    switch (type) {
    case VKSSIM_TYPE_DECODER: *t = {kDecoderFields, std::size(kDecoderFields), VKSSIM_DECODER_BLOCK_SIZE}; return true;
    case VKSSIM_TYPE_ENCODER: *t = {kEncoderFields, std::size(kEncoderFields), VKSSIM_ENCODER_BLOCK_SIZE}; return true;
    case VKSSIM_TYPE_NETWORK: *t = {kNetworkFields, std::size(kNetworkFields), VKSSIM_NETWORK_BLOCK_SIZE}; return true;
    default: return false;
    }
}

constexpr uint32_t kLargestBlock = std::max({VKSSIM_DECODER_BLOCK_SIZE, VKSSIM_ENCODER_BLOCK_SIZE, VKSSIM_NETWORK_BLOCK_SIZE});

void WriteField(const Field& f, uint8_t* block, int64_t v);

// A block of minimum, maximum or default values (`t.size` bytes).
void FillBlock(const Table& t, uint32_t selector, uint8_t* block) {
    std::memset(block, 0, t.size);
    PutU32(block, t.size);
    for (size_t i = 0; i < t.count; ++i) {
        const Field& f = t.fields[i];
        if (f.kind == Kind::Bytes) continue;
        int64_t v = selector == VKSSIM_SELECTOR_MINIMUM   ? f.minimum
                    : selector == VKSSIM_SELECTOR_MAXIMUM ? f.maximum
                                                          : f.initial;
        WriteField(f, block, v);
    }
}

int64_t ReadField(const Field& f, const uint8_t* block) {
    switch (f.kind) {
    case Kind::U16: {
        uint16_t v;
        std::memcpy(&v, block + f.offset, 2);
        return v;
    }
    case Kind::U32: return GetU32(block + f.offset);
    case Kind::S32: return static_cast<int32_t>(GetU32(block + f.offset));
    case Kind::U64: {
        uint64_t v;
        std::memcpy(&v, block + f.offset, 8);
        return static_cast<int64_t>(v);
    }
    default: return 0;
    }
}

void WriteField(const Field& f, uint8_t* block, int64_t v) {
    switch (f.kind) {
    case Kind::U16: PutU16(block + f.offset, static_cast<uint16_t>(v)); break;
    case Kind::U32:
    case Kind::S32: PutU32(block + f.offset, static_cast<uint32_t>(v)); break;
    case Kind::U64: PutU64(block + f.offset, static_cast<uint64_t>(v)); break;
    default: break;
    }
}

bool Supported(uint32_t type, const Field& f, int64_t v) {
    if (type == VKSSIM_TYPE_ENCODER && f.offset == 36)
        return std::find(std::begin(kProfiles), std::end(kProfiles), v) != std::end(kProfiles);
    if (type == VKSSIM_TYPE_ENCODER && f.offset == 40)
        return std::find(std::begin(kLevels), std::end(kLevels), v) != std::end(kLevels);
    return v >= f.minimum && v <= f.maximum;
}

SimObject* Find(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    return it == c.device.objects.end() ? nullptr : &it->second;
}

// 24 selector, 28 flags, 32 capacity. Reply from 32: the block of the
// selector, its size word the size the device's firmware knows (which may
// exceed the capacity: the caller copies the smaller of the two).
void GetParameter(Command& c) {
    SimObject* o = Find(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    Table t;
    if (!TableFor(o->info.type, &t)) {
        c.status = VKSERROR_UNSUPPORTED;
        return;
    }
    uint32_t selector = c.InU32(VKSSIM_PAYLOAD);
    if (selector > VKSSIM_SELECTOR_DEFAULT) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    // Built on the stack: a parameter get allocates nothing.
    uint8_t fresh[kLargestBlock];
    const uint8_t* block = o->params.data();
    if (selector != VKSSIM_SELECTOR_CURRENT) {
        FillBlock(t, selector, fresh);
        block = fresh;
    }
    const uint32_t size = c.device.blockSize[o->info.type] ? c.device.blockSize[o->info.type] : t.size;
    c.OutBytes(32, block, size);
    uint8_t sizeWord[4];
    PutU32(sizeWord, size);
    c.OutBytes(32, sizeWord, std::min<uint32_t>(size, sizeof(sizeWord)));
}

// 24 selector (0 set, 4 test), 28 flags, from 32 the block. Every field group
// named by the flags is checked first; nothing is written unless all pass.
void SetParameter(Command& c) {
    SimObject* o = Find(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    Table t;
    if (!TableFor(o->info.type, &t)) {
        c.status = VKSERROR_UNSUPPORTED;
        return;
    }
    uint32_t selector = c.InU32(VKSSIM_PAYLOAD), flags = c.InU32(VKSSIM_PAYLOAD + 4);
    if (selector != VKSSIM_SELECTOR_CURRENT && selector != VKSSIM_SELECTOR_TEST) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    uint32_t known = 0;
    for (size_t i = 0; i < t.count; ++i) known |= t.fields[i].flags;
    if (flags == 0 || (flags & ~known) != 0) {
        c.status = VKSERROR_UNSUPPORTED;
        return;
    }
    const uint8_t* block = c.in.data() + 32;
    size_t available = c.in.size() > 32 ? c.in.size() - 32 : 0;
    size_t sent = std::min<size_t>(available, available >= 4 ? GetU32(block) : 0);
    for (size_t i = 0; i < t.count; ++i) {
        const Field& f = t.fields[i];
        if (!(f.flags & flags)) continue;
        if (f.offset + f.width > sent) {
            c.status = VKSERROR_BUFFER_TOO_SMALL;
            return;
        }
        if (f.readOnly) {
            c.status = VKSERROR_UNSUPPORTED;
            return;
        }
        if (f.kind != Kind::Bytes && !Supported(o->info.type, f, ReadField(f, block))) {
            c.status = selector == VKSSIM_SELECTOR_TEST ? VKSERROR_UNSUPPORTED : VKSERROR_INVALID_ARGUMENT;
            return;
        }
    }
    if (selector == VKSSIM_SELECTOR_TEST) return;
    for (size_t i = 0; i < t.count; ++i) {
        const Field& f = t.fields[i];
        if (f.flags & flags) std::memcpy(o->params.data() + f.offset, block + f.offset, f.width);
    }
    if (o->info.type == VKSSIM_TYPE_NETWORK) PutU32(o->params.data() + 4, flags);
}

}  // namespace

uint32_t FullBlockSize(uint32_t type) {
    Table t;
    return TableFor(type, &t) ? t.size : 0;
}

std::vector<uint8_t> ParameterBlock(uint32_t type, uint32_t selector) {
    Table t;
    if (!TableFor(type, &t)) return {};
    std::vector<uint8_t> block(t.size);
    FillBlock(t, selector, block.data());
    return block;
}

static void RegisterParameterFamily(Machine& m) {
    m.handlers[VKSSIM_IOCTL_GET_PARAMETER] = GetParameter;
    m.handlers[VKSSIM_IOCTL_SET_PARAMETER] = SetParameter;
}
VKSSIM_FAMILY(RegisterParameterFamily);

}  // namespace vkssim::detail
