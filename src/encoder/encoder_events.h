// The encoder's part in completion handling.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct UserHandle;

// Calls the encoder's encryption-keys function with the event's payload.
void CallEncryptionKeysFn(DWORD hvks, UserHandle* object, BYTE* payload);
