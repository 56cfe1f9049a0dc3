#include "audio/audio_events.h"

#include "objects/user_handle.h"

void AudioStreamHasAudio(UserHandle* object) {}
