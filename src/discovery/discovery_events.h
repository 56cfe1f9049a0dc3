// Discovery's part in event handling.
#pragma once

#include "vks_platform.h"

struct UserHandle;

// Fetches what a discovery session found and calls its callback.
void DeliverDiscoveredDevices(DWORD hvks, UserHandle* object, BYTE* reply);
