// Feeding a "file://" stream's local file to the driver, block by block.
#pragma once

#include "vks_platform.h"

struct UserHandle;

// Sends the next block of the object's playback file (0 bytes at its end).
void FeedNextBlock(UserHandle* object);
// Moves the playback file to `position` bytes from its start.
void SeekPlaybackFile(UserHandle* object, ULONGLONG position);
