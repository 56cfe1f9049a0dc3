// The output samples an application has handed to a decoder or an encoder and
// the device has not yet given back. A completion names its sample by an
// address the device echoes; only an address found here is the application's
// record.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct UserHandle;

// Each call runs under the object's handle lock.
bool OutputSampleAdd(UserHandle* object, VKSMEDIASAMPLE* sample);  // false when memory is short
// Removes one entry for `address` and returns its sample; null when the
// application gave no such sample.
VKSMEDIASAMPLE* OutputSampleTake(UserHandle* object, ULONGLONG address);
void OutputSamplesFree(UserHandle* object);
