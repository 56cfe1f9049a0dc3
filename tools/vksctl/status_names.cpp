// Names of status codes for messages people read: the library's own
// VKSErrorToString, plus the handle table's family, which it does not name.
#include "status_names.h"

#include "vksacc.h"

#include <cstdio>

namespace vksctl {

namespace {

struct NamedStatus {
    VKSERROR code;
    const char* name;
};

#define VKSCTL_NAMED(code) {code, #code}
const NamedStatus kHandleErrors[] = {
    VKSCTL_NAMED(HANDLEERROR_BAD_CONFIG),         VKSCTL_NAMED(HANDLEERROR_ALREADY_INITIALISED),
    VKSCTL_NAMED(HANDLEERROR_INVALID_HANDLE),     VKSCTL_NAMED(HANDLEERROR_NO_MEMORY),
    VKSCTL_NAMED(HANDLEERROR_BAD_BUCKET_COUNT),   VKSCTL_NAMED(HANDLEERROR_NO_HANDLE),
};
#undef VKSCTL_NAMED

}  // namespace

const char* StatusName(VKSERROR status) {
    const char* name = VKSErrorToString(status);
    if (name && *name) return name;
    for (const NamedStatus& n : kHandleErrors)
        if (n.code == status) return n.name;
    return nullptr;
}

std::string StatusText(VKSERROR status) {
    const char* name = StatusName(status);
    char text[96];
    if (name)
        std::snprintf(text, sizeof text, "%s (0x%08X)", name, status);
    else
        std::snprintf(text, sizeof text, "status 0x%08X", status);
    return text;
}

bool IsNotification(VKSERROR status) { return (status >> 16) == 0x0134 && (status & 0xFFF) >= 0x400; }

}  // namespace vksctl
