// The rendering library, loaded by name with all its entry points.
#pragma once

#include "vks_platform.h"

// Loads the rendering library and its engine; without it the engine runs
// without rendering.
void RendererLibraryLoad();
void RendererLibraryFree();
