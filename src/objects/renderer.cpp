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
