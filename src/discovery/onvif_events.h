// Custom device events that describe ONVIF devices seen on the network.
#pragma once

#include "vks_platform.h"

// Writes an ONVIF device record to the log at TRACE level.
void LogOnvifDeviceRecord(const BYTE* record, DWORD bytes);
