// The worker thread's handling of completions on open objects, and the calls
// of the application's callbacks in the form of each object type.
#pragma once

#include "driver/command_channel.h"

struct UserHandle;

// Handles the completion of `block` for the object `hvks`; frees the block.
void WorkerDispatch(DWORD hvks, OVIOCTL* block);

// Sends the object's next event request (its result is not used).
VKSERROR RequestEvent(const UserHandle* object);

// Calls an error function in the form of `type` (nothing for unknown types;
// a warning when the function is null).
void VKSErrorFn(DWORD type, DWORD hvks, void* function, void* context, DWORD value, VKSMEDIASAMPLE* sample,
                VKSERROR status);
