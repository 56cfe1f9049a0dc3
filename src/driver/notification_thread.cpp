#include "driver/notification_thread.h"

#include "core/engine.h"

void StartNotificationThread() {}
void StopNotificationThread() {}
