// What the worker does for each event before the callbacks: the actions are
// owned by the subsystems they concern.
#pragma once

#include "driver/command_channel.h"

struct UserHandle;

// Acts on an event code reported for a locked object (the reply holds the
// event's data from offset 24).
void ActOnEvent(DWORD hvks, UserHandle* object, VKSERROR code, BYTE* reply);

// Completes an encoder output sample from its reply; returns the status to report.
VKSERROR CompleteEncoderOutputSample(UserHandle* object, const BYTE* reply, VKSERROR status, VKSMEDIASAMPLE** sample);
// Completes a decoder output sample from its reply; returns the status to report.
VKSERROR CompleteDecoderOutputSample(UserHandle* object, const BYTE* reply, VKSERROR status, VKSMEDIASAMPLE** sample);
