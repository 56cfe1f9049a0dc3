#include "audio_figures.h"

#include "os.h"

namespace vksctl {

namespace {

// The simulated endpoint's counters, as the platform library lays them out
// (VKS_AUDIO_STATS).
struct EndpointStats {
    uint64_t periods;
    uint64_t framesPlayed;
    uint64_t underruns;
    uint32_t streamsOpen;
    uint32_t streamsStarted;
    uint32_t mmcssTasks;
    uint32_t comObjects;
    uint32_t comThreads;
};

}  // namespace

bool SimulatedAudioFigures(AudioFigures* figures) {
    using GetStats = void (*)(EndpointStats*);
    auto get = reinterpret_cast<GetStats>(os::LoadedSymbol("VksAudioGetStats"));
    if (!get) return false;
    EndpointStats stats{};
    get(&stats);
    figures->periods = stats.periods;
    figures->framesPlayed = stats.framesPlayed;
    figures->underruns = stats.underruns;
    figures->streamsOpen = stats.streamsOpen;
    figures->streamsStarted = stats.streamsStarted;
    return true;
}

}  // namespace vksctl
