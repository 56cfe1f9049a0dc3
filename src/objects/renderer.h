// The rendering library, loaded by name with all its entry points.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

// Loads the rendering library and its engine; without it the engine runs
// without rendering.
void RendererLibraryLoad();
void RendererLibraryFree();

struct UserHandle;
// The decoder reported its first decoded frame: start its renderer input.
void RendererFirstFrame(UserHandle* object);
// Opens a decoder's renderer input (nothing without a renderer).
VKSERROR RendererOpenInput(UserHandle* object);
// Closes a decoder's renderer input, if it has one.
void RendererCloseInput(UserHandle* object);
// Moves a decoder's renderer along with a state change of the decoder.
void RendererFollowDecoderState(UserHandle* object, DWORD previousState, DWORD newState);
