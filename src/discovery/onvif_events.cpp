#include "discovery/onvif_events.h"

#include "core/log.h"

void LogOnvifDeviceRecord(const BYTE* record, DWORD bytes) {
    LogTrace(WSTR("NotificationWindowProc: ONVIF device event (%u bytes)\n"), bytes);
}
