// vksctl encode: an encoder with its parameters set, output samples queued,
// and everything it encodes written to a file, with the throughput.
#include "commands.h"
#include "event_queue.h"
#include "json_writer.h"
#include "output.h"
#include "param_table.h"
#include "status_names.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl encode --output FILE [options]\n"
    "\n"
    "Opens an encoder, sets the parameters given, queues output samples, starts it and\n"
    "writes every encoded sample to FILE until --frames samples (default 50), --seconds,\n"
    "or Ctrl-C; then shows the throughput. FILE - is standard output (the figures then\n"
    "go to standard error).\n"
    "\n"
    "options:\n"
    "  --encoder N          encoder index (default 0)\n"
    "  --width W --height H resolution\n"
    "  --fps N              frame rate\n"
    "  --bitrate N          bit rate, bits per second\n"
    "  --codec N            codec\n"
    "  --profile N          codec profile\n"
    "  --level N            codec level\n"
    "  --gop N              key-frame interval\n"
    "  --frames N           stop after N samples\n"
    "  --seconds S          stop after S seconds\n"
    "  --buffers N          output samples kept queued (default 4)\n"
    "  --buffer-size BYTES  size of each output buffer (default 1048576)\n"
    "  --param NAME=VALUE   set any encoder parameter (vksctl param list) for this\n"
    "                       session; may be repeated\n";

// One output sample with the memory it points to, at a fixed address for as
// long as the engine may hand it back.
struct OutputSample {
    VKSMEDIASAMPLE sample{};
    VKSMEDIABUFFERS buffers{};
    VKSMEDIATYPE type{};
    std::vector<uint8_t> data;
};

struct Encoding {
    EventQueue queue;
    std::mutex mutex;
    std::deque<VKSMEDIASAMPLE*> returned;
};

void VKSAPI OnOutput(HVKS, VKSMEDIASAMPLE* sample, void* context) {
    auto* e = static_cast<Encoding*>(context);
    {
        std::lock_guard lock(e->mutex);
        e->returned.push_back(sample);
    }
    Wake();
}

void VKSAPI OnError(HVKS, VKSMEDIASAMPLE* sample, VKSERROR status, void* context) {
    static_cast<Encoding*>(context)->queue.Push(sample ? "sample" : "encoder", status);
}

}  // namespace

int CmdEncode(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const uint32_t index = args.U32("--encoder").value_or(0);
    const auto output = args.Value("--output");
    const auto width = args.U32("--width");
    const auto height = args.U32("--height");
    const auto fps = args.U32("--fps");
    const auto bitrate = args.U32("--bitrate");
    const auto codec = args.U32("--codec");
    const auto profile = args.U32("--profile");
    const auto level = args.U32("--level");
    const auto gop = args.U32("--gop");
    const auto seconds = args.Seconds("--seconds");
    const uint32_t frames = args.U32("--frames").value_or(seconds ? 0 : 50);
    const uint32_t bufferCount = args.U32("--buffers").value_or(4);
    const uint32_t bufferSize = args.U32("--buffer-size").value_or(1048576);
    std::vector<ParamSetting> settings;
    for (const std::string& text : args.Values("--param")) {
        std::string problem;
        if (!ParseParamSetting(text, {"encoder"}, &settings.emplace_back(), &problem)) args.SetError(problem);
    }
    if (!args.Finish()) return UsageError("encode", args.Error());
    if (!output) return UsageError("encode", "--output FILE is missing");
    if (width.has_value() != height.has_value()) return UsageError("encode", "--width and --height go together");
    if (bufferCount == 0 || bufferCount > 64) return UsageError("encode", "--buffers takes 1 to 64");
    if (bufferSize < 16 || bufferSize > 64 * 1024 * 1024)
        return UsageError("encode", "--buffer-size takes 16 bytes to 64 MiB");
    const bool json = context.global.json;

    // "-": the samples go to standard output, and what vksctl says about
    // them to standard error.
    const bool toStdout = *output == "-";
    FILE* report = toStdout ? stderr : stdout;
    FILE* out = toStdout ? stdout : std::fopen(output->c_str(), "wb");
    if (!out) {
        PrintError("encode", "cannot write " + *output + ": " + std::strerror(errno));
        return kExitFailure;
    }
    // Declared before the engine: samples may come back until it is freed.
    Encoding encoding;
    std::vector<std::unique_ptr<OutputSample>> samples;
    Engine engine;
    if (!LoadEngine("encode", &engine)) {
        if (!toStdout) std::fclose(out);
        return kExitFailure;
    }
    const std::string problem = CheckIndex(VKSDEVICETYPE_ENCODER, index);
    if (!problem.empty()) {
        if (!toStdout) std::fclose(out);
        PrintError("encode", problem);
        return kExitUsage;  // a wrong number on the command line
    }
    HVKS encoder = 0;
    VKSERROR status = VKSEncoderDeviceOpen(index, 0, &encoder);
    if (status != VKSERROR_NO_ERROR) {
        if (!toStdout) std::fclose(out);
        return FailWith("encode", "cannot open encoder " + std::to_string(index), status);
    }

    int exitStatus = kExitOk;
    auto set = [&](const char* what, std::optional<uint32_t> value, VKSERROR (*apply)(HVKS, uint32_t)) {
        if (!value || exitStatus != kExitOk) return;
        const VKSERROR s = apply(encoder, *value);
        if (s != VKSERROR_NO_ERROR)
            exitStatus = FailWith("encode", std::string("cannot set the ") + what + " to " + std::to_string(*value), s);
    };
    set("frame rate", fps, [](HVKS h, uint32_t v) { return VKSEncoderSetFrameRate(h, v); });
    set("bit rate", bitrate, [](HVKS h, uint32_t v) { return VKSEncoderSetBitRate(h, v); });
    set("codec", codec, [](HVKS h, uint32_t v) { return VKSEncoderSetCodec(h, v); });
    set("profile", profile, [](HVKS h, uint32_t v) { return VKSEncoderSetProfile(h, v); });
    set("level", level, [](HVKS h, uint32_t v) { return VKSEncoderSetLevel(h, v); });
    set("key-frame interval", gop, [](HVKS h, uint32_t v) { return VKSEncoderSetKeyFrameInterval(h, v); });
    for (const ParamSetting& p : settings) {
        std::string problem;
        if (exitStatus == kExitOk && SetParam(*p.param, encoder, p.values, p.text, &problem) != VKSERROR_NO_ERROR) {
            PrintError("encode", problem);
            exitStatus = kExitFailure;
        }
    }
    if (width && exitStatus == kExitOk) {
        status = VKSEncoderSetResolution(encoder, *width, *height);
        if (status != VKSERROR_NO_ERROR)
            exitStatus = FailWith("encode", "cannot set the resolution " + std::to_string(*width) + "x" +
                                                std::to_string(*height), status);
    }

    uint32_t frameRate = 0, bitRate = 0;
    VKSEncoderGetFrameRate(encoder, &frameRate);
    VKSEncoderGetBitRate(encoder, &bitRate);
    uint64_t written = 0, frameCount = 0;
    double first = -1, last = 0;
    bool interrupted = false;
    if (exitStatus == kExitOk) {
        VKSEncoderDeviceSetErrorFn(encoder, OnError, &encoding);
        VKSEncoderDeviceSetOutputMediaSampleReturnFn(encoder, OnOutput, &encoding);
        for (uint32_t i = 0; i < bufferCount && exitStatus == kExitOk; ++i) {
            auto s = std::make_unique<OutputSample>();
            s->data.resize(bufferSize);
            s->sample.Kind = 1;
            s->sample.SampleWord = i;
            s->sample.pMediaType = &s->type;
            s->sample.Layout = 1;
            s->sample.pBuffers = &s->buffers;
            s->buffers.BufferCount = 1;
            s->buffers.Buffers[0].pData = s->data.data();
            s->buffers.Buffers[0].Length = bufferSize;
            status = VKSEncoderDeviceChainOutputMediaSample(encoder, &s->sample);
            if (status != VKSERROR_NO_ERROR) exitStatus = FailWith("encode", "cannot queue an output sample", status);
            samples.push_back(std::move(s));
        }
    }
    if (exitStatus == kExitOk) {
        status = VKSEncoderDeviceSetState(encoder, 2);
        if (status != VKSERROR_NO_ERROR) exitStatus = FailWith("encode", "cannot start the encoder", status);
    }
    if (exitStatus == kExitOk) {
        if (!json) {
            std::fprintf(report, "encoding on encoder %u at %u frames/s, %u bit/s into %s\n", index, frameRate, bitRate,
                        output->c_str());
            std::fflush(report);
        }
        const double limit = seconds.value_or(-1);
        while (frames == 0 || frameCount < frames) {
            if (!WaitUntil(encoding.queue, 0, limit, 500)) {
                interrupted = true;
                break;
            }
            for (const Reported& r : encoding.queue.Take()) {
                if (!json) std::fprintf(report, "%7.3fs  %s: %s\n", r.seconds, r.source.c_str(), StatusText(r.status).c_str());
                if (!IsNotification(r.status)) exitStatus = kExitFailure;
            }
            if (exitStatus != kExitOk) break;
            std::deque<VKSMEDIASAMPLE*> done;
            {
                std::lock_guard lock(encoding.mutex);
                done.swap(encoding.returned);
            }
            for (VKSMEDIASAMPLE* sample : done) {
                if (frames != 0 && frameCount >= frames) break;
                const VKSMEDIABUFFER& b = sample->pBuffers->Buffers[0];
                const uint32_t filled = b.FilledLength < b.Length ? b.FilledLength : b.Length;
                if (std::fwrite(b.pData, 1, filled, out) != filled) {
                    PrintError("encode", "writing " + *output + " failed: " + std::strerror(errno));
                    exitStatus = kExitFailure;
                    break;
                }
                written += filled;
                ++frameCount;
                last = encoding.queue.Elapsed();
                if (first < 0) first = last;
                if (frames == 0 || frameCount + bufferCount <= frames) {
                    status = VKSEncoderDeviceChainOutputMediaSample(encoder, sample);
                    if (status != VKSERROR_NO_ERROR) {
                        exitStatus = FailWith("encode", "cannot queue an output sample again", status);
                        break;
                    }
                }
            }
            if (exitStatus != kExitOk) break;
            if (limit >= 0 && encoding.queue.Elapsed() >= limit) break;
        }
    }
    VKSEncoderDeviceSetState(encoder, 0);
    const VKSERROR closed = VKSEncoderDeviceClose(encoder);
    const VKSERROR freed = engine.Free();
    if (!toStdout) std::fclose(out);

    const double span = last > 0 ? last : encoding.queue.Elapsed();
    const double fpsMeasured = span > 0 ? static_cast<double>(frameCount) / span : 0;
    const double bitsPerSecond = span > 0 ? static_cast<double>(written) * 8 / span : 0;
    if (json) {
        JsonWriter j;
        j.BeginObject().Member("encoder", index).Member("output", *output).Member("frames", frameCount);
        j.Member("bytes", written).Member("seconds", span).Member("frames_per_second", fpsMeasured);
        j.Member("bits_per_second", bitsPerSecond).Member("frame_rate", frameRate).Member("bit_rate", bitRate);
        j.Member("interrupted", interrupted).EndObject();
        std::fprintf(report, "%s\n", j.Text().c_str());
    } else {
        if (interrupted) std::fprintf(report, "interrupted\n");
        std::fprintf(report, "%llu samples, %s in %.3f s: %.1f samples/s, %.3f Mbit/s\n",
                    static_cast<unsigned long long>(frameCount), Bytes(written).c_str(), span, fpsMeasured,
                    bitsPerSecond / 1e6);
        std::fprintf(report, "encoder closed; engine freed\n");
    }
    if (closed != VKSERROR_NO_ERROR) exitStatus = FailWith("encode", "closing the encoder", closed);
    if (freed != VKSERROR_NO_ERROR) exitStatus = FailWith("encode", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
