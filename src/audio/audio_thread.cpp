#include "audio/audio_thread.h"

HRESULT AudioThreadCreate(DWORD hvks, VKSGUID* sessionGuid, VKSAUDIOTHREAD** thread) {
    *thread = nullptr;
    return E_NOTIMPL;  // no audio endpoint support in this build: decoders open without audio
}

HRESULT AudioThreadDestroy(VKSAUDIOTHREAD* thread) { return thread == nullptr ? S_OK : E_UNEXPECTED; }
