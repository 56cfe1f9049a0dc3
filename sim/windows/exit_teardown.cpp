#include "sim_internal.h"

namespace vkssim::detail {

// At process exit Windows has ended every other thread before the DLL's
// static destructors run, possibly inside a lock they held: joining the
// machine's threads or taking its lock then never returns. The process is
// going, so the machine is left as it is.
bool TearDownMachineAtExit() { return false; }

}  // namespace vkssim::detail
