// Audio figures of a played session.
//
// No export reports what a decoder's audio thread has rendered. On the
// simulator the audio endpoint belongs to the platform library loaded in
// this process, which keeps counters for the whole process: vksctl reads
// them when they are there (and says nothing about sound otherwise).
#pragma once

#include <cstdint>

namespace vksctl {

struct AudioFigures {
    uint64_t periods = 0;
    uint64_t framesPlayed = 0;
    uint64_t underruns = 0;
    uint32_t streamsOpen = 0;
    uint32_t streamsStarted = 0;
};

// False when the process has no simulated endpoint to ask.
bool SimulatedAudioFigures(AudioFigures* figures);

}  // namespace vksctl
