// mkdir with a mode, which Windows has no use for (one test source makes a
// folder): included first in that source's Windows build.
#pragma once

#include <direct.h>

static inline int mkdir(const char* path, unsigned mode) {
    (void)mode;
    return _mkdir(path);
}
