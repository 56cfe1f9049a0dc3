// vksctl exporter on Windows: not built. Its HTTP server is cpp-httplib as
// Debian ships it, whose implementation lives in a Linux shared library;
// there is no build of it for mingw-w64.
#include "commands.h"
#include "output.h"

namespace vksctl {

int CmdExporter(Context&, Args&) {
    PrintError("exporter", "not available in this Windows build (it needs an HTTP library not built for Windows); "
                           "run the exporter on Linux");
    return kExitFailure;
}

}  // namespace vksctl
