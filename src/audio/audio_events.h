// The audio path's part in event handling.
#pragma once

struct UserHandle;

// The decoder's stream carries audio: wake its audio thread.
void AudioStreamHasAudio(UserHandle* object);
