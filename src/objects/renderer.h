// The rendering library, loaded by name with all its entry points, and the
// renderer input each decoder gets while that library is loaded and ready.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

// The load result when the rendering library lacks one of its entry points
// (the library is then released and not used).
constexpr DWORD kRendererLibraryIncomplete = 0x00050003;
// Number of entry points the rendering library must export.
constexpr size_t kRendererFunctionCount = 36;
// UTF-16 units of a render input name, terminator included.
constexpr size_t kRenderInputNameUnits = 256;

// Loads the rendering library and its engine. Returns 0, the Windows error of
// a failed load, or kRendererLibraryIncomplete; in every case but 0 the engine
// runs without a renderer.
DWORD RendererLibraryLoad();
// Ends the renderer's engine and releases the library.
void RendererLibraryFree();
// True when the library is loaded with every entry point and its engine exists.
bool RendererReady();
// The name of entry point `index` in resolution order (null past the end).
const char* RendererFunctionName(size_t index);

// Copies the render input name from a get-render-input-name reply into
// `name` (kRenderInputNameUnits units), cut to fit and always terminated.
void CopyRenderInputName(const BYTE* reply, WCHAR* name);

struct UserHandle;
// The decoder reported its first decoded frame: start its renderer input.
// Called with the handle locked.
void RendererFirstFrame(UserHandle* object);
// Opens a decoder's renderer input (nothing without a ready renderer).
// Called with the handle locked; a non-zero result fails the open.
VKSERROR RendererOpenInput(UserHandle* object);
// Closes a decoder's renderer input, if it has one, and forgets it.
// Called with the handle locked.
void RendererCloseInput(UserHandle* object);
// Moves a decoder's renderer along with a successful state change of the
// decoder. Called with the handle locked.
void RendererFollowDecoderState(UserHandle* object, DWORD previousState, DWORD newState);

// The pass-through calls of the window and no-signal text exports, for a
// decoder that has a renderer input (HAcc non-zero).
VKSERROR RendererSetWindow(UserHandle* object, VKSHWND window);
VKSERROR RendererGetNoSignalTextA(UserHandle* object, void* arg1, void* arg2, void* arg3, void* arg4);
VKSERROR RendererGetNoSignalTextW(UserHandle* object, void* arg1, void* arg2, void* arg3, void* arg4);
VKSERROR RendererSetNoSignalTextA(UserHandle* object, DWORD arg1, DWORD arg2, const char* text);
VKSERROR RendererSetNoSignalTextW(UserHandle* object, DWORD arg1, DWORD arg2, const VKSWCHAR* text);
