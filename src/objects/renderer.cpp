#include "objects/renderer.h"

#include "core/engine.h"

void RendererLibraryLoad() {
    Global.hRendererLibrary = nullptr;
    Global.hRendererEngine = 0;
}

void RendererLibraryFree() {
    if (Global.hRendererLibrary != nullptr) {
        FreeLibrary(Global.hRendererLibrary);
        Global.hRendererLibrary = nullptr;
    }
    Global.hRendererEngine = 0;
}

void RendererFirstFrame(UserHandle* object) {}

VKSERROR RendererOpenInput(UserHandle* object) { return VKSERROR_NO_ERROR; }
void RendererCloseInput(UserHandle* object) {}
void RendererFollowDecoderState(UserHandle* object, DWORD previousState, DWORD newState) {}
