// The per-decoder audio render thread.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct VKSAUDIOTHREAD;

// Creates the decoder's audio thread for the session named by *sessionGuid.
HRESULT AudioThreadCreate(DWORD hvks, VKSGUID* sessionGuid, VKSAUDIOTHREAD** thread);
// Stops and frees an audio thread; S_OK for null.
HRESULT AudioThreadDestroy(VKSAUDIOTHREAD* thread);
