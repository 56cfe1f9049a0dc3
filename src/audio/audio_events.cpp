#include "audio/audio_events.h"

#include "audio/audio_thread.h"
#include "objects/user_handle.h"

void AudioStreamHasAudio(UserHandle* object) {
    // Decoders opened without audio have no thread to wake.
    if (object->Type == VKSDEVICETYPE_DECODER && object->pAudioThread != nullptr) {
        AudioThreadNotifyAudioAvailable(object->pAudioThread);
    }
}
