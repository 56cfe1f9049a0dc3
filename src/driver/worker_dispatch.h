// The worker thread's handling of one completion on an open object.
#pragma once

#include "driver/command_channel.h"

// Handles the completion of `block` for the object `hvks`; frees the block.
void WorkerDispatch(DWORD hvks, OVIOCTL* block);
