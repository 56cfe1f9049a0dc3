// The pair of driver commands behind every setting of an open decoder,
// encoder or network stream: one reads a parameter block, one writes it.
//
// The frame building and reply parsing are separate pure functions over byte
// buffers, so that they can be checked without a device; the two commands
// only add the header from the open object and the synchronous issue.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include "driver/param_blocks.h"

struct UserHandle;

// Where the parameter command fields sit in the request and the reply.
constexpr DWORD kParamReqSelector = 24;
constexpr DWORD kParamReqFlags = 28;
constexpr DWORD kParamReqCapacity = 32;  // get: the capacity of the caller's block
constexpr DWORD kParamReqBlock = 32;     // set: the caller's block
constexpr DWORD kParamRepBlock = 32;     // get: the device's block

// Payload of a get request. `request` is a standard request (header untouched).
void BuildGetParameterRequest(BYTE* request, DWORD selector, DWORD flags, DWORD capacity);

// Copies the device's block from a get reply over `block`: the smaller of the
// caller's size word and the device's size word (bounded by the reply), size
// word included, then stores that count in the caller's size word. Returns it.
DWORD CopyGetParameterReply(const BYTE* reply, void* block);

// Payload of a set request: selector, flags and as many bytes of `block` as
// its size word says. VKSERROR_INVALID_ARGUMENT, with nothing written, when
// the block does not fit in a standard request.
VKSERROR BuildSetParameterRequest(BYTE* request, DWORD selector, DWORD flags, const void* block);

// Reads the fields named by `flags` into `block`, whose size word holds its
// capacity on the way in and the number of valid bytes on the way out.
// VKSERROR_ILLEGAL_CALL for a null block; else the driver's or channel status.
VKSERROR VKSGetParameterK(const UserHandle* object, DWORD selector, DWORD flags, void* block);

// Writes the fields named by `flags` from `block` (selector kParamCurrent), or
// offers them (kParamTest). VKSERROR_ILLEGAL_CALL for a null block; else the
// driver's or channel status.
VKSERROR VKSSetParameterK(const UserHandle* object, DWORD selector, DWORD flags, const void* block);
