#include "objects/file_feeding.h"

#include "objects/user_handle.h"

void FeedNextBlock(UserHandle* object) {}
void SeekPlaybackFile(UserHandle* object, ULONGLONG position) {}
