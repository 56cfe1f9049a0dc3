// The notification thread and its hidden window: display changes and custom
// device events.
#pragma once

#include "vks_platform.h"

void StartNotificationThread();
void StopNotificationThread();
// True on the notification thread itself (its window procedure's callbacks).
bool OnNotificationThread();
