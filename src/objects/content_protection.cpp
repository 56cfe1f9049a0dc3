#include "objects/content_protection.h"

#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/param_accessors.h"
#include "driver/param_blocks.h"
#include "driver/param_commands.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"

#include <cstddef>
#include <cstring>

constexpr DWORD IOCTL_VKS_SET_ENCRYPTION_KEYS = 0x22C4B4;
static_assert(VksIoctl(0x12D) == IOCTL_VKS_SET_ENCRYPTION_KEYS, "code rule");

static_assert(offsetof(DecoderParamBlock, PskEntry0) == kPskAreaOffset, "PSK area of the decoder block");
static_assert(offsetof(DecoderParamBlock, PskEntry1) == kPskAreaOffset + kPskEntryBytes, "entries follow each other");
static_assert(kPskEntryBytes == kPskDataBytes + 1 && kPskDataBytes == VKS_PSK_MAX_LENGTH, "entry: data, length byte");
static_assert(sizeof(VKSENCRYPTIONKEYS) == kEncryptionKeysBytes && offsetof(VKSENCRYPTIONKEYS, Second) == 16,
              "two 16-byte halves");

BYTE* GetPSKDataEntryForDatatype(BYTE* pskArea, DWORD datatype) {
    switch (datatype) {
        case VKS_PSK_DATATYPE_0:
            return pskArea;
        case VKS_PSK_DATATYPE_1:
            return pskArea + kPskEntryBytes;
        default:
            LogError(WSTR("GetPSKDataEntryForDatatype: Unrecognised datatype: %u."), datatype);
            return nullptr;
    }
}

bool SetPSKEncryptionDataValue(BYTE* pskArea, const BYTE* data, BYTE length, DWORD datatype) {
    BYTE* entry = GetPSKDataEntryForDatatype(pskArea, datatype);
    if (entry == nullptr) return false;
    if (length > kPskDataBytes) {
        LogError(WSTR("SetPSKEncryptionDataValue: Supplied length exceeds available storage (length:%u)."),
                 static_cast<unsigned>(length));
        return false;
    }
    entry[kPskDataBytes] = length;
    std::memset(entry, 0, kPskDataBytes);
    if (length != 0) std::memcpy(entry, data, length);
    return true;
}

DWORD VKSParamFlagFromPSKEncryptionDatatype(DWORD datatype) {
    switch (datatype) {
        case VKS_PSK_DATATYPE_0:
            return kDecoderFlagPsk0;
        case VKS_PSK_DATATYPE_1:
            return kDecoderFlagPsk1;
        default:
            return 0;
    }
}

extern "C" {

VKSERROR VKSAPI VKSDecoderDeviceSetPSKEncryptionData(HVKS hVKS, const uint8_t* pData, uint8_t Length,
                                                     uint32_t Datatype) {
    if (pData == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) -> VKSERROR {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
        if (!SetPSKEncryptionDataValue(block.Bytes + kPskAreaOffset, pData, Length, Datatype)) {
            return VKSERROR_INVALID_ARGUMENT;
        }
        return VKSSetParameterK(object, kParamCurrent, VKSParamFlagFromPSKEncryptionDatatype(Datatype), block.Bytes);
    });
}

VKSERROR VKSAPI VKSDecoderDeviceSetEncryptionKeys(HVKS hVKS, const VKSENCRYPTIONKEYS* pKeys) {
    if (pKeys == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return WithLockedObject(hVKS, LockFailure::PassThrough, [&](UserHandle* object) -> VKSERROR {
        CommandRequest request = kRequestTemplate;
        CommandReply reply = kReplyTemplate;
        std::memcpy(request.Bytes + kEncryptionKeysOffset, pKeys, kEncryptionKeysBytes);
        return HandleIoctlSync(object, IOCTL_VKS_SET_ENCRYPTION_KEYS, request.Bytes, reply.Bytes);
    });
}

}  // extern "C"
