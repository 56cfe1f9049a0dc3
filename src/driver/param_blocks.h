// The parameter blocks of decoders, encoders and network streams, with the
// selector and flag values that travel beside them in the parameter commands.
//
// Each block is a size-prefixed record: its first word counts the bytes that
// are valid, the size word included. A command names the fields it concerns
// with a flags word; bytes outside those fields carry no meaning and are sent
// as zero. All fields are little-endian, which is also the byte order of every
// target the library is built for.
#pragma once

#include "vks_platform.h"

#include <cstddef>
#include <cstdint>

// What a parameter command asks for.
enum : DWORD {
    kParamCurrent = 0,
    kParamMinimum = 1,
    kParamMaximum = 2,
    kParamDefault = 3,
    kParamTest = 4,  // the value is offered; the driver answers whether it is supported
};

// Decoder parameter flags.
enum : DWORD {
    kDecoderFlagResolution = 0x3,
    kDecoderFlagRates = 0x8,
    kDecoderFlagCroppingEnabled = 0x10,
    kDecoderFlagCroppingRect = 0x20,
    kDecoderFlagDeInterlace = 0xC0,
    kDecoderFlagScaling = 0x200,
    kDecoderFlagHdcpHeader = 0x400,
    kDecoderFlagAudioFormat = 0x800,
    kDecoderFlagAudioVolume = 0x1000,
    kDecoderFlagAudioDelay = 0x2000,
    kDecoderFlagSyncMode = 0x4000,
    kDecoderFlagPlaybackLatency = 0x8000,
    kDecoderFlagRateManagement = 0x10000,
    kDecoderFlagPsk0 = 0x80000,
    kDecoderFlagPsk1 = 0x100000,
};

// Encoder parameter flags.
enum : DWORD {
    kEncoderFlagFrameRates = 0x1,
    kEncoderFlagResolution = 0x6,
    kEncoderFlagBitRate = 0x8,
    kEncoderFlagProfile = 0x10,
    kEncoderFlagLevel = 0x20,
    kEncoderFlagKeyFrameInterval = 0x40,
    kEncoderFlagUdpMulticast = 0x80,
    kEncoderFlagEncryptionType = 0x100,
    kEncoderFlagHdcpHeader = 0x200,
    kEncoderFlagCodec = 0x400,
    kEncoderFlagRtsp = 0x800,
    kEncoderFlagAudioInput = 0x1000,
    kEncoderFlagAudioParams = 0x2000,
};

// Network-stream parameter flags.
enum : DWORD {
    kNetworkFlagCaching = 0x1,
    kNetworkFlagTransport = 0x2,
    kNetworkFlagProgramId = 0x4,
    kNetworkFlagJitter = 0x8,
    kNetworkFlagSeekTime = 0x10,
    kNetworkFlagSeekPosition = 0x20,
    kNetworkFlagCachingLimit = 0x40,
};

constexpr DWORD kPskEntryBytes = 33;  // 32 data bytes and a length byte
constexpr DWORD kPskDataBytes = 32;
constexpr DWORD kUdpMulticastTextBytes = 32;
constexpr DWORD kRtspTextBytes = 2048;

struct DecoderParamBlock {
    uint32_t Size;  // 480 when sent
    uint32_t Reserved4;
    uint16_t Width;
    uint16_t Height;
    uint32_t Reserved12;
    uint32_t RatesSize;  // the rates sub-block's own byte count
    uint32_t RenderRate;
    uint32_t Rate24;
    uint32_t Rate28;
    uint32_t Rate32;
    uint32_t CroppingEnabled;  // 1 enabled
    uint32_t CroppingA;        // the rectangle, in the order of the cropping exports' arguments
    uint32_t CroppingB;
    uint32_t CroppingC;
    uint32_t CroppingD;
    uint32_t DeInterlaceSecond;
    uint32_t DeInterlaceMode;  // 0 to 2
    uint32_t Scaling1;
    uint32_t Scaling2;
    uint32_t Reserved72;
    uint32_t AudioVolume;
    uint32_t AudioDelay;
    uint32_t PlaybackLatencyMs;
    uint8_t Reserved88[20];
    uint32_t HdcpHeader0;
    uint32_t HdcpHeader1;
    uint8_t AudioRequiredFormat[32];
    uint32_t SyncMode;
    uint32_t RateManagementControl;
    uint8_t Reserved156[256];
    uint8_t PskEntry0[kPskEntryBytes];  // datatype 0
    uint8_t PskEntry1[kPskEntryBytes];  // datatype 1
    uint8_t Reserved478[2];
};

struct EncoderParamBlock {
    uint32_t Size;  // 2208 when sent
    uint32_t Reserved4;
    uint32_t FrameRatesSize;  // the frame-rate sub-block's own byte count, 20
    uint32_t FrameRate12;
    uint32_t FrameRate;
    uint32_t FrameRate20;
    uint32_t FrameRate24;
    uint16_t Width;
    uint16_t Height;
    uint32_t BitRate;
    uint32_t Profile;
    uint32_t Level;
    uint16_t KeyFrameInterval;
    uint16_t Reserved46;
    uint32_t Reserved48;
    uint32_t UdpMulticastValue;
    char UdpMulticastText[kUdpMulticastTextBytes];
    uint32_t RtspValue;
    char RtspText[kRtspTextBytes];
    uint32_t HdcpSize;  // 12
    uint32_t HdcpHeader0;
    uint32_t HdcpHeader1;
    uint32_t EncryptionType;
    uint32_t Codec;
    uint32_t AudioInputChannel;
    uint16_t AudioInputOne;  // always 1
    uint16_t Reserved2166;
    uint32_t AudioSize;  // the audio sub-block's own byte count, 40
    uint32_t AudioValue1;
    uint32_t AudioThirtyTwo;  // always 32
    uint32_t AudioValue3;
    uint32_t Reserved2184;
    uint16_t AudioValue2;
    uint16_t Reserved2190;
    uint16_t AudioValue4;
    uint8_t Reserved2194[14];
};

struct NetworkParamBlock {
    uint32_t Size;   // 40 when sent
    uint32_t Flags;  // written only by a seek, with the command's flags
    uint32_t Caching;
    uint32_t CachingLimit;
    uint32_t Jitter;
    uint32_t Transport;
    uint32_t ProgramId;
    int32_t SeekTime100ns;
    uint64_t SeekPosition;
};

constexpr DWORD kDecoderParamBlockBytes = 480;
constexpr DWORD kEncoderParamBlockBytes = 2208;
constexpr DWORD kNetworkParamBlockBytes = 40;
constexpr DWORD kLargestParamBlockBytes = kEncoderParamBlockBytes;

constexpr DWORD kRatesSubBlockBytes = 20;  // the decoder's rates and the encoder's frame rates
constexpr DWORD kEncoderHdcpSubBlockBytes = 12;
constexpr DWORD kEncoderAudioSubBlockBytes = 40;
constexpr DWORD kEncoderAudioThirtyTwo = 32;

static_assert(sizeof(DecoderParamBlock) == kDecoderParamBlockBytes);
static_assert(offsetof(DecoderParamBlock, Width) == 8 && offsetof(DecoderParamBlock, Height) == 10);
static_assert(offsetof(DecoderParamBlock, RatesSize) == 16 && offsetof(DecoderParamBlock, RenderRate) == 20);
static_assert(offsetof(DecoderParamBlock, Rate24) == 24 && offsetof(DecoderParamBlock, Rate32) == 32);
static_assert(offsetof(DecoderParamBlock, CroppingEnabled) == 36 && offsetof(DecoderParamBlock, CroppingA) == 40);
static_assert(offsetof(DecoderParamBlock, CroppingD) == 52);
static_assert(offsetof(DecoderParamBlock, DeInterlaceSecond) == 56 && offsetof(DecoderParamBlock, DeInterlaceMode) == 60);
static_assert(offsetof(DecoderParamBlock, Scaling1) == 64 && offsetof(DecoderParamBlock, Scaling2) == 68);
static_assert(offsetof(DecoderParamBlock, AudioVolume) == 76 && offsetof(DecoderParamBlock, AudioDelay) == 80);
static_assert(offsetof(DecoderParamBlock, PlaybackLatencyMs) == 84);
static_assert(offsetof(DecoderParamBlock, HdcpHeader0) == 108 && offsetof(DecoderParamBlock, HdcpHeader1) == 112);
static_assert(offsetof(DecoderParamBlock, AudioRequiredFormat) == 116);
static_assert(offsetof(DecoderParamBlock, SyncMode) == 148 && offsetof(DecoderParamBlock, RateManagementControl) == 152);
static_assert(offsetof(DecoderParamBlock, PskEntry0) == 412 && offsetof(DecoderParamBlock, PskEntry1) == 445);

static_assert(sizeof(EncoderParamBlock) == kEncoderParamBlockBytes);
static_assert(offsetof(EncoderParamBlock, FrameRatesSize) == 8 && offsetof(EncoderParamBlock, FrameRate) == 16);
static_assert(offsetof(EncoderParamBlock, FrameRate24) == 24);
static_assert(offsetof(EncoderParamBlock, Width) == 28 && offsetof(EncoderParamBlock, Height) == 30);
static_assert(offsetof(EncoderParamBlock, BitRate) == 32 && offsetof(EncoderParamBlock, Profile) == 36);
static_assert(offsetof(EncoderParamBlock, Level) == 40 && offsetof(EncoderParamBlock, KeyFrameInterval) == 44);
static_assert(offsetof(EncoderParamBlock, UdpMulticastValue) == 52 && offsetof(EncoderParamBlock, UdpMulticastText) == 56);
static_assert(offsetof(EncoderParamBlock, RtspValue) == 88 && offsetof(EncoderParamBlock, RtspText) == 92);
static_assert(offsetof(EncoderParamBlock, HdcpSize) == 2140 && offsetof(EncoderParamBlock, HdcpHeader0) == 2144);
static_assert(offsetof(EncoderParamBlock, HdcpHeader1) == 2148);
static_assert(offsetof(EncoderParamBlock, EncryptionType) == 2152 && offsetof(EncoderParamBlock, Codec) == 2156);
static_assert(offsetof(EncoderParamBlock, AudioInputChannel) == 2160 && offsetof(EncoderParamBlock, AudioInputOne) == 2164);
static_assert(offsetof(EncoderParamBlock, AudioSize) == 2168 && offsetof(EncoderParamBlock, AudioValue1) == 2172);
static_assert(offsetof(EncoderParamBlock, AudioThirtyTwo) == 2176 && offsetof(EncoderParamBlock, AudioValue3) == 2180);
static_assert(offsetof(EncoderParamBlock, AudioValue2) == 2188 && offsetof(EncoderParamBlock, AudioValue4) == 2192);

static_assert(sizeof(NetworkParamBlock) == kNetworkParamBlockBytes);
static_assert(offsetof(NetworkParamBlock, Flags) == 4 && offsetof(NetworkParamBlock, Caching) == 8);
static_assert(offsetof(NetworkParamBlock, CachingLimit) == 12 && offsetof(NetworkParamBlock, Jitter) == 16);
static_assert(offsetof(NetworkParamBlock, Transport) == 20 && offsetof(NetworkParamBlock, ProgramId) == 24);
static_assert(offsetof(NetworkParamBlock, SeekTime100ns) == 28 && offsetof(NetworkParamBlock, SeekPosition) == 32);

// Room for the largest block on the calling thread's stack; the first word is
// the size word, whichever block it holds.
struct ParamBlockBuffer {
    alignas(8) BYTE Bytes[kLargestParamBlockBytes];
};
