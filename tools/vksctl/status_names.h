// Names of status codes for what vksctl prints.
#pragma once

#include "vksacc.h"

#include <string>

namespace vksctl {

// The code's name (VKSERROR_END_OF_STREAM), or null for a value the header
// does not name.
const char* StatusName(VKSERROR status);
// "NAME (0x01341404)", or "status 0x12345678" for an unnamed value.
std::string StatusText(VKSERROR status);
// Offsets from 0x400 up in a VKSERROR group are notifications, not failures.
bool IsNotification(VKSERROR status);

}  // namespace vksctl
