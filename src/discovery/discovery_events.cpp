#include "discovery/discovery_events.h"

#include "objects/user_handle.h"

void DeliverDiscoveredDevices(DWORD hvks, UserHandle* object, BYTE* reply) {}
