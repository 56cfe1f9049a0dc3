// vksctl play ADDRESS: the whole session of an application that shows a
// stream: a network stream on a port, a decoder, connect and play, the
// events as they arrive, and everything closed and the engine freed at the
// end of the stream, after --seconds, or on Ctrl-C.
#include "audio_figures.h"
#include "commands.h"
#include "device_groups.h"
#include "event_queue.h"
#include "files.h"
#include "feed_progress.h"
#include "json_writer.h"
#include "os.h"
#include "output.h"
#include "param_table.h"
#include "status_names.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl play ADDRESS [options]\n"
    "\n"
    "Opens a network stream on a port with ADDRESS (file://PATH, sdp://PATH, udp://HOST:PORT,\n"
    "or any other address the device takes), opens a decoder, connects it to the stream\n"
    "and plays. Shows the events as they arrive, a progress bar for file streams and the\n"
    "audio figures; stops at the end of the stream, after --seconds, or on Ctrl-C, and\n"
    "always closes everything and frees the engine.\n"
    "\n"
    "options:\n"
    "A bare path (clip.ts, ./clip.ts) or a relative file:// or sdp:// address is made\n"
    "absolute: the device opens the file by its address, not from this folder.\n"
    "  --port N         network port index (default: the first port on the decoder's device)\n"
    "  --decoder N      decoder index (default 0)\n"
    "  --seconds S      stop after S seconds (default: at the end of the stream)\n"
    "  --first-frame-timeout S\n"
    "                   fail when no frame is decoded within S seconds (default 10)\n"
    "  --connect N      the connection argument given with the decoder's state 2 (default 0)\n"
    "  --param NAME=VALUE\n"
    "                   set a decoder or stream parameter (vksctl param list) for this\n"
    "                   session, before playing; may be repeated\n"
    "  --no-audio       open the decoder with audio decoding switched off\n"
    "  --wav FILE       (simulator) record the sound the audio endpoint plays into FILE\n"
    "  --json           print a summary document instead of the running display\n";

void VKSAPI OnStreamError(HVKS, uint32_t value, VKSMEDIASAMPLE*, VKSERROR status, void* context) {
    static_cast<EventQueue*>(context)->Push("stream", status, value);
}

void VKSAPI OnDecoderError(void*, uint32_t, HVKS, VKSMEDIASAMPLE*, VKSERROR status, void* context) {
    static_cast<EventQueue*>(context)->Push("decoder", status);
}

void VKSAPI OnSystemEvent(VKSERROR event, void*, void* context) {
    static_cast<EventQueue*>(context)->Push("system", event);
}

// The address as the device needs it: a bare path (anything without a
// scheme but a plain host:port) becomes a file://
// address, the file and sdp schemes are written in lower case (the device
// matches them exactly), and their paths are made absolute. `path` receives
// the local file's path (empty for network addresses).
std::string NormalizeAddress(const std::string& given, std::string* path) {
    path->clear();
    const size_t colon = given.find("://");
    if (colon == std::string::npos) {
        // A plain network address (host:port) stays as it is, unless a file
        // of that name is here.
        struct stat st;
        if (given.find(':') != std::string::npos && given.find('/') == std::string::npos &&
            ::stat(given.c_str(), &st) != 0)
            return given;
        *path = AbsolutePath(given);
        return "file://" + *path;
    }
    for (const char* scheme : {"file", "sdp"}) {
        const size_t n = std::strlen(scheme);
        if (colon != n || strncasecmp(given.c_str(), scheme, n) != 0) continue;
        std::string rest = given.substr(n + 3);
        if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
        *path = AbsolutePath(rest);
        return std::string(scheme) + "://" + *path;
    }
    return given;
}

bool IsFileAddress(const std::string& address) { return address.rfind("file://", 0) == 0; }

// The first network port on the decoder's own device (a decoder plays
// streams of its own device only), or -1.
int PortForDecoder(uint32_t decoder, std::string* fitting) {
    for (const DeviceGroup& g : GroupDevices()) {
        if (std::find(g.decoders.begin(), g.decoders.end(), decoder) == g.decoders.end()) continue;
        for (uint32_t p : g.ports) *fitting += (fitting->empty() ? "" : ", ") + std::to_string(p);
        return g.ports.empty() ? -1 : static_cast<int>(g.ports.front());
    }
    return -1;
}

const char* Describe(VKSERROR status) {
    switch (status) {
        case VKSERROR_DECODED_FIRST_FRAME: return "first frame decoded";
        case VKSERROR_AUDIO_EXISTS: return "the stream carries audio";
        case VKSERROR_AUDIO_AVAILABLE: return "audio available";
        case VKSERROR_AUDIO_UNSUPPORTED_STREAM: return "the stream's audio cannot be played";
        case VKSERROR_END_OF_STREAM: return "end of stream";
        case VKSERROR_RESOLUTION_CHANGED: return "resolution changed";
        case VKSERROR_STREAM_STOPPED: return "stream stopped";
        case VKSERROR_STREAM_RESTARTED: return "stream restarted";
        case VKSERROR_RECONNECTING: return "reconnecting";
        case VKSERROR_ATTEMPTING_CONNECTION: return "attempting connection";
        case VKSERROR_CONNECTION_TERMINATED: return "connection terminated";
        default: return IsNotification(status) ? "notification" : "error";
    }
}

// Closes what was opened, in the application's order, whatever happened.
struct Session {
    HVKS stream = 0;
    HVKS decoder = 0;
    VKSERROR closeDecoder = VKSERROR_NO_ERROR;
    VKSERROR closeStream = VKSERROR_NO_ERROR;
    void Close() {
        if (decoder) closeDecoder = VKSDecoderDeviceClose(decoder);
        if (stream) closeStream = VKSNetworkStreamClose(stream);
        decoder = stream = 0;
    }
    ~Session() { Close(); }
};

}  // namespace

int CmdPlay(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const auto portOption = args.U32("--port");
    const uint32_t decoderIndex = args.U32("--decoder").value_or(0);
    const uint32_t connectArg = args.U32("--connect").value_or(0);
    const double seconds = args.Seconds("--seconds").value_or(-1);
    const double firstFrameTimeout = args.Seconds("--first-frame-timeout").value_or(10);
    const bool noAudio = args.Flag("--no-audio");
    const std::string wav = args.Value("--wav").value_or("");
    std::vector<ParamSetting> settings;
    for (const std::string& text : args.Values("--param")) {
        std::string problem;
        if (!ParseParamSetting(text, {"decoder", "stream"}, &settings.emplace_back(), &problem))
            args.SetError(problem);
    }
    auto given = args.Positional();
    if (!given && !args.Failed()) args.SetError("the stream address is missing");
    if (!args.Finish()) return UsageError("play", args.Error());
    const bool json = context.global.json;

    std::string path;
    const std::string address = NormalizeAddress(*given, &path);
    if (!path.empty()) {
        const std::string problem = ReadableFileProblem("file", path);
        if (!problem.empty()) {
            PrintError("play", problem);
            return kExitFailure;
        }
        struct stat st;
        if (IsFileAddress(address) && ::stat(path.c_str(), &st) == 0 && st.st_size == 0) {
            PrintError("play", "file " + path + " is empty: nothing to play");
            return kExitFailure;
        }
    }
    if (!wav.empty()) {
        if (!context.simulator) {
            PrintError("play", "--wav records the simulator's audio endpoint; there is none on real devices");
            return kExitUsage;
        }
        const std::string problem = WritableFileProblem("--wav", wav);
        if (!problem.empty()) return UsageError("play", problem);
        // Read by the simulated endpoint when the process first plays sound.
        os::SetEnvironment("VKS_AUDIO_RECORD", wav.c_str());
    }

    EventQueue queue;
    Engine engine;
    if (!LoadEngine("play", &engine)) return kExitFailure;
    if (const std::string problem = CheckIndex(VKSDEVICETYPE_DECODER, decoderIndex); !problem.empty())
        return UsageError("play", problem);
    std::string fittingPorts;
    const int ownPort = PortForDecoder(decoderIndex, &fittingPorts);
    if (portOption) {
        if (const std::string problem = CheckIndex(VKSDEVICETYPE_NETWORK, *portOption); !problem.empty())
            return UsageError("play", problem);
    } else if (ownPort < 0) {
        PrintError("play", "decoder " + std::to_string(decoderIndex) + "'s device has no network port");
        return kExitFailure;
    }
    const uint32_t port = portOption ? *portOption : static_cast<uint32_t>(ownPort);
    VKSSetSystemEventFn(OnSystemEvent, &queue);
    VKSDecoderDeviceSetAudioDecodeEnabled(noAudio ? 0 : 1);

    int exitStatus = kExitOk;
    Session session;
    VKSERROR status = VKSNetworkStreamOpenExA(port, address.c_str(), 0, &session.stream, nullptr);
    if (status != VKSERROR_NO_ERROR) {
        session.stream = 0;
        return FailWith("play", "cannot open a stream on port " + std::to_string(port) + " with " + address, status);
    }
    VKSGUID audioSession{};  // the null GUID asks for a session of its own
    status = VKSDecoderDeviceOpenEx(decoderIndex, 0, 0, &session.decoder, nullptr, &audioSession);
    if (status != VKSERROR_NO_ERROR) {
        session.decoder = 0;
        return FailWith("play", "cannot open decoder " + std::to_string(decoderIndex), status);
    }
    // No window: the renderer draws nowhere, which a terminal session wants.
    (void)VKSDecoderDeviceSetWindow(nullptr, 0, session.decoder, nullptr);
    VKSDecoderDeviceSetErrorFn(nullptr, 0, session.decoder, OnDecoderError, &queue);
    VKSNetworkStreamSetErrorFn(session.stream, 0, OnStreamError, &queue);

    for (const ParamSetting& p : settings) {
        std::string problem;
        const HVKS object = std::string(p.param->family) == "decoder" ? session.decoder : session.stream;
        if (SetParam(*p.param, object, p.values, p.text, &problem) != VKSERROR_NO_ERROR) {
            PrintError("play", problem);
            return kExitFailure;
        }
    }

    char sessionId[VKS_AUDIO_SESSION_ID_SIZE] = {};
    const VKSERROR audioStatus = VKSDecoderDeviceGetAudioSessionId(session.decoder, sessionId);
    std::string audioNote;
    if (noAudio)
        audioNote = "no audio (switched off)";
    else if (audioStatus == VKSERROR_NO_ERROR)
        audioNote = std::string("audio session ") + sessionId;
    else if (audioStatus == VKSERROR_UNSUPPORTED)
        audioNote = "no audio: this build of the library does not play sound";
    else
        audioNote = "no audio: the decoder has none (" + StatusText(audioStatus) + ")";

    status = VKSDecoderDeviceSetState(session.stream, connectArg, session.decoder, VKS_DECODER_STATE_PLAYING);
    if (status != VKSERROR_NO_ERROR) {
        if (status == VKSERROR_INVALID_CONNECTION && !fittingPorts.empty() && port != static_cast<uint32_t>(ownPort))
            return FailWith("play",
                            "port " + std::to_string(port) + " is not on decoder " + std::to_string(decoderIndex) +
                                "'s device (ports there: " + fittingPorts + ")",
                            status);
        return FailWith("play", "cannot connect and play", status);
    }
    if (!json) {
        std::printf("playing %s: port %u, decoder %u; %s\n", address.c_str(), port, decoderIndex, audioNote.c_str());
        std::fflush(stdout);
    }

    std::unique_ptr<FeedProgress> progress;
    if (IsFileAddress(address)) progress = std::make_unique<FeedProgress>(path);
    if (progress && !progress->Tracked()) progress.reset();  // only the size would be known
    const bool bar = progress && !json && ::isatty(STDOUT_FILENO);
    bool ended = false, interrupted = false, timedOut = false, firstFrame = false;
    std::string failure;  // why the session failed, printed after the close
    std::vector<Reported> seen;
    bool barShown = false;
    while (!ended) {
        const double limit = firstFrame ? seconds
                             : seconds < 0 ? firstFrameTimeout
                                           : std::min(seconds, firstFrameTimeout);
        if (!WaitUntil(queue, 0, limit, 100)) {
            interrupted = true;
            break;
        }
        for (const Reported& r : queue.Take()) {
            seen.push_back(r);
            if (barShown) {
                std::printf("\r\033[K");
                barShown = false;
            }
            if (!json)
                std::printf("%7.3fs  %-7s  %s: %s\n", r.seconds, r.source.c_str(),
                            StatusName(r.status) ? StatusName(r.status) : Hex32(r.status).c_str(), Describe(r.status));
            if (r.status == VKSERROR_DECODED_FIRST_FRAME) firstFrame = true;
            if (r.source == "stream" && r.status == VKSERROR_END_OF_STREAM) ended = true;
            // A failure reported by the device ends the session as a failure;
            // notifications and the system's events do not.
            if (!IsNotification(r.status) && r.status != VKSERROR_NO_ERROR && r.status != VKSERROR_IGNORE_ERROR &&
                r.source != "system") {
                exitStatus = kExitFailure;
                ended = true;
            }
        }
        if (bar) {
            std::printf("\r%s", ProgressText(progress->BytesFed(), progress->FileSize(), 30).c_str());
            barShown = true;
        }
        std::fflush(stdout);
        if (seconds >= 0 && queue.Elapsed() >= seconds && !ended) {
            timedOut = true;
            break;
        }
        if (!firstFrame && !ended && queue.Elapsed() >= firstFrameTimeout) {
            char text[96];
            std::snprintf(text, sizeof text, "no frame was decoded within %.3g s (--first-frame-timeout)",
                          firstFrameTimeout);
            failure = text;
            break;
        }
    }
    if (ended && exitStatus == kExitOk && !firstFrame) failure = "the stream ended without a decoded frame";
    if (ended && progress && progress->BytesFed() == 0)
        failure = "nothing could be fed from " + path;
    if (!failure.empty()) exitStatus = kExitFailure;
    if (barShown) std::printf("\r\033[K");
    if (!json && interrupted) std::printf("interrupted\n");
    if (!json && timedOut) std::printf("stopped after %.3g s\n", seconds);

    // Figures are read before the close stops the audio thread.
    AudioFigures audio;
    const bool haveAudio = audioStatus == VKSERROR_NO_ERROR && SimulatedAudioFigures(&audio);
    const uint64_t fed = progress ? progress->BytesFed() : 0;
    session.Close();
    const VKSERROR freed = engine.Free();

    if (json) {
        JsonWriter j;
        j.BeginObject().Member("address", address).Member("port", port).Member("decoder", decoderIndex);
        j.Key("events").BeginArray();
        for (const Reported& r : seen) {
            j.BeginObject().Member("seconds", r.seconds).Member("source", r.source);
            j.Member("name", StatusName(r.status) ? StatusName(r.status) : "").Member("code", Hex32(r.status));
            j.EndObject();
        }
        j.EndArray();
        j.Member("end_of_stream", ended && exitStatus == kExitOk).Member("interrupted", interrupted);
        j.Member("timed_out", timedOut);
        if (progress) j.Member("bytes_fed", fed).Member("file_size", progress->FileSize());
        j.Key("audio");
        if (haveAudio) {
            j.BeginObject().Member("session", sessionId).Member("frames_rendered", audio.framesPlayed);
            j.Member("underruns", audio.underruns).Member("periods", audio.periods).EndObject();
        } else {
            j.Null();
        }
        j.Member("audio_note", audioNote).Member("engine_freed", freed == VKSERROR_NO_ERROR).EndObject();
        j.Print();
    } else {
        if (progress)
            std::printf("fed %llu of %llu bytes of %s\n", static_cast<unsigned long long>(fed),
                        static_cast<unsigned long long>(progress->FileSize()), path.c_str());
        if (haveAudio)
            std::printf("audio: %llu frames rendered, %llu underruns\n",
                        static_cast<unsigned long long>(audio.framesPlayed),
                        static_cast<unsigned long long>(audio.underruns));
        else if (audioStatus == VKSERROR_NO_ERROR)
            std::printf("audio: rendered to the system's default endpoint (no figures from it)\n");
        else
            std::printf("audio: none\n");
        std::printf("closed the decoder and the stream; engine freed\n");
    }
    if (!failure.empty()) PrintError("play", failure);
    if (session.closeDecoder != VKSERROR_NO_ERROR)
        exitStatus = FailWith("play", "closing the decoder", session.closeDecoder);
    if (session.closeStream != VKSERROR_NO_ERROR) exitStatus = FailWith("play", "closing the stream", session.closeStream);
    if (freed != VKSERROR_NO_ERROR) exitStatus = FailWith("play", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
