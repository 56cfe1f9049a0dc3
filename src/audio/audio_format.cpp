#include "audio/audio_format.h"

#include "core/log.h"

#include <cmath>
#include <cstring>

namespace {

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

}  // namespace

GuidText FormatGuid(const GUID& guid) {
    GuidText text{};
    StringFromGUID2(guid, text.Text, 40);
    return text;
}

void AudioThreadHelperPopulateFormat(const WAVEFORMATEX* format, AudioRequiredFormat* required) {
    required->One = 1;
    required->SampleType = kAudioSampleUnknown;
    if (format->wFormatTag == WAVE_FORMAT_PCM) {
        required->SampleType = kAudioSampleInteger;
    } else if (format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        required->SampleType = kAudioSampleFloat;
    } else if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        if (SameGuid(ext->SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) {
            required->SampleType = kAudioSampleInteger;
        } else if (SameGuid(ext->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)) {
            required->SampleType = kAudioSampleFloat;
        } else {
            const GuidText sub = FormatGuid(ext->SubFormat);
            LogError(WSTR("AudioThreadHelperPopulateFormat: Unhandled WAVE_FORMAT_EXTENSIBLE SubFormat:%s - Thread:%08X\n"),
                     sub.Text, GetCurrentThreadId());
        }
    } else {
        LogError(WSTR("AudioThreadHelperPopulateFormat: Unhandled WAVE_FORMAT:0x%04hX - Thread:%08X\n"),
                 format->wFormatTag, GetCurrentThreadId());
    }
    required->Signed = (required->SampleType == kAudioSampleInteger && format->wBitsPerSample <= 8) ? 0 : 1;
}

void FillRequiredFormat(const WAVEFORMATEX* format, AudioRequiredFormat* required) {
    std::memset(required, 0, sizeof(*required));
    required->Size = sizeof(AudioRequiredFormat);
    required->SamplesPerSec = format->nSamplesPerSec;
    required->Channels = format->nChannels;
    required->BitsPerSample = format->wBitsPerSample;
    if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        required->ValidBitsPerSample = ext->Samples.wValidBitsPerSample;
        required->ChannelMask = ext->dwChannelMask;
    } else {
        required->ValidBitsPerSample = format->wBitsPerSample;
        required->ChannelMask = 0;
    }
    AudioThreadHelperPopulateFormat(format, required);
}

double AudioBufferDurationMs(DWORD samplesPerSec, UINT32 bufferFrames) {
    return (1000.0 / static_cast<double>(samplesPerSec)) * static_cast<double>(bufferFrames);
}

DWORD AudioPlaybackLatencyMs(DWORD samplesPerSec, UINT32 bufferFrames) {
    // std::round rounds halves away from zero.
    return static_cast<DWORD>(std::round(250.0 + AudioBufferDurationMs(samplesPerSec, bufferFrames)));
}

AudioStartFrames AudioStartFrameCounts(DWORD samplesPerSec, UINT32 bufferFrames) {
    const double rate = static_cast<double>(samplesPerSec);
    const double duration = AudioBufferDurationMs(samplesPerSec, bufferFrames);
    const auto f250 = static_cast<DWORD>(std::ceil(rate * 250.0 / 1000.0));
    const auto fBuf = static_cast<DWORD>(std::ceil(rate * duration / 1000.0));
    const auto f500 = static_cast<DWORD>(std::ceil(rate * 500.0 / 1000.0));
    return AudioStartFrames{f500, f250, f250 + fBuf};
}

void DumpWaveFormat(const WCHAR* label, const WAVEFORMATEX* format) {
    if (format == nullptr) return;
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE) {
        LogNotification(WSTR("%s - Thread:%08X\n")
                            WSTR("                             wFormatTag: 0x%04X\n")
                                WSTR("                              nChannels: %d\n")
                                    WSTR("                         nSamplesPerSec: %d\n")
                                        WSTR("                        nAvgBytesPerSec: %d\n")
                                            WSTR("                            nBlockAlign: %d\n")
                                                WSTR("                         wBitsPerSample: %d\n")
                                                    WSTR("                                 cbSize: %d\n"),
                        label, GetCurrentThreadId(), format->wFormatTag, format->nChannels,
                        static_cast<int>(format->nSamplesPerSec), static_cast<int>(format->nAvgBytesPerSec),
                        format->nBlockAlign, format->wBitsPerSample, format->cbSize);
        return;
    }
    const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
    const GuidText sub = FormatGuid(ext->SubFormat);
    LogNotification(WSTR("%s - Thread:%08X\n")
                        WSTR("                             wFormatTag: 0x%04X\n")
                            WSTR("                              nChannels: %d\n")
                                WSTR("                         nSamplesPerSec: %d\n")
                                    WSTR("                        nAvgBytesPerSec: %d\n")
                                        WSTR("                            nBlockAlign: %d\n")
                                            WSTR("                         wBitsPerSample: %d\n")
                                                WSTR("   wValidBitsPerSample/wSamplesPerBlock: %d\n")
                                                    WSTR("                          dwChannelMask: 0x%08X\n")
                                                        WSTR("                              SubFormat: %s\n"),
                    label, GetCurrentThreadId(), format->wFormatTag, format->nChannels,
                    static_cast<int>(format->nSamplesPerSec), static_cast<int>(format->nAvgBytesPerSec),
                    format->nBlockAlign, format->wBitsPerSample, ext->Samples.wValidBitsPerSample,
                    static_cast<unsigned>(ext->dwChannelMask), sub.Text);
}
