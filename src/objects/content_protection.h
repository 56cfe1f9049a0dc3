// Key material of a decoder's encrypted streams: pre-shared key entries
// written as fields of the decoder parameter block, and a 32-byte keys record
// sent with a command of its own. The library only places and forwards the
// bytes; the device does all cryptography.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

// Offset of the first PSK entry in the decoder parameter block; the entry of
// datatype 1 follows it.
constexpr DWORD kPskAreaOffset = 412;
// Set encryption keys request: the record from offset 24.
constexpr DWORD kEncryptionKeysOffset = 24;
constexpr DWORD kEncryptionKeysBytes = 32;

// The entry of a datatype inside the PSK area (null, and an ERROR line, for an
// unknown datatype).
BYTE* GetPSKDataEntryForDatatype(BYTE* pskArea, DWORD datatype);
// Fills the entry of the datatype: length byte, then the data with the rest
// of the 32 bytes cleared. False, with nothing written, for an unknown
// datatype or a length above 32.
bool SetPSKEncryptionDataValue(BYTE* pskArea, const BYTE* data, BYTE length, DWORD datatype);
// The parameter flag naming the datatype's entry (0 for an unknown datatype).
DWORD VKSParamFlagFromPSKEncryptionDatatype(DWORD datatype);
