// The PCM format a decoder is told to produce, and the frame counts and
// latency derived from the endpoint's format and buffer.
#pragma once

#include "vks_platform.h"

#include <cstddef>
#include <cstdint>

// Sample types of AudioRequiredFormat.
enum : uint32_t { kAudioSampleUnknown = 0, kAudioSampleInteger = 1, kAudioSampleFloat = 2 };

#pragma pack(push, 1)
struct AudioRequiredFormat {
    uint32_t Size;  // 32
    uint32_t SamplesPerSec;
    uint32_t ChannelMask;  // extensible formats only, else 0
    uint16_t Channels;
    uint16_t BitsPerSample;       // container bits
    uint16_t ValidBitsPerSample;  // extensible formats, else the container bits
    uint16_t Reserved18;
    uint32_t SampleType;  // kAudioSample*
    uint32_t One;         // always 1
    uint8_t Signed;       // 0 for integer samples of 8 bits or less
    uint8_t Reserved29[3];
};
#pragma pack(pop)
static_assert(sizeof(AudioRequiredFormat) == 32, "AudioRequiredFormat is 32 bytes");
static_assert(offsetof(AudioRequiredFormat, SamplesPerSec) == 4 && offsetof(AudioRequiredFormat, ChannelMask) == 8 &&
                  offsetof(AudioRequiredFormat, Channels) == 12 && offsetof(AudioRequiredFormat, BitsPerSample) == 14 &&
                  offsetof(AudioRequiredFormat, ValidBitsPerSample) == 16 &&
                  offsetof(AudioRequiredFormat, SampleType) == 20 && offsetof(AudioRequiredFormat, One) == 24 &&
                  offsetof(AudioRequiredFormat, Signed) == 28,
              "AudioRequiredFormat layout");

// SampleType, Signed and the always-1 word for a wave format. An unhandled
// tag or SubFormat is logged and leaves SampleType 0.
void AudioThreadHelperPopulateFormat(const WAVEFORMATEX* format, AudioRequiredFormat* required);
// The whole record from a wave format.
void FillRequiredFormat(const WAVEFORMATEX* format, AudioRequiredFormat* required);

// Endpoint buffer duration in milliseconds.
double AudioBufferDurationMs(DWORD samplesPerSec, UINT32 bufferFrames);
// Playback latency told to the decoder: 250 ms of decoder buffering plus the
// endpoint buffer, rounded to the nearest millisecond.
DWORD AudioPlaybackLatencyMs(DWORD samplesPerSec, UINT32 bufferFrames);

// The three frame counts of the start command.
struct AudioStartFrames {
    DWORD Frames500;          // decoder buffer capacity
    DWORD Frames250;          // Data Buffered threshold
    DWORD Frames250PlusBuffer;
};
AudioStartFrames AudioStartFrameCounts(DWORD samplesPerSec, UINT32 bufferFrames);

// The braced text of a GUID ("{XXXXXXXX-...}"), 39 units with the terminator.
struct GuidText {
    WCHAR Text[40];
};
GuidText FormatGuid(const GUID& guid);

// Writes one NOTIFICATION entry describing a format; nothing for null.
void DumpWaveFormat(const WCHAR* label, const WAVEFORMATEX* format);
