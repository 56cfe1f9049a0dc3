// Feeding a "file://" stream's local file to the driver, block by block.
//
// The device does not read the file itself: it asks for the next block
// (VKSERROR_NEED_DATA) or for a new read position (VKSERROR_SEEK_DATA) on the
// stream's event channel, and the worker thread answers from the file while
// it holds the stream's lock.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct UserHandle;

// Bytes read from the file for one request of the driver.
constexpr DWORD kFeedBlockBytes = 1048576;

// VKSSupplyEncodedData request fields after the header.
constexpr DWORD kSupplyByteCount = 24;     // u32 number of bytes in the block
constexpr DWORD kSupplyBlockAddress = 32;  // u64 address of the block

// Hands one block to the driver; the driver copies it during the command, so
// the block may be freed as soon as this returns. A null block is refused with
// VKSERROR_ILLEGAL_CALL without sending.
VKSERROR VKSSupplyEncodedDataK(const UserHandle* object, const void* block, DWORD bytes);

// Sends the next block of the object's playback file (0 bytes at its end).
// Failures are logged only: the driver notices the missing data itself.
void FeedNextBlock(UserHandle* object);
// Moves the playback file to `position` bytes from its start; a failure is
// logged and leaves the position where it was.
void SeekPlaybackFile(UserHandle* object, ULONGLONG position);
