#include "driver/param_accessors.h"

#include "driver/command_channel.h"
#include "driver/param_commands.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"

#include <cmath>
#include <cstring>

void InitParamBlock(BYTE* block, DWORD blockBytes) {
    std::memset(block, 0, blockBytes);
    WriteU32(block, 0, blockBytes);
}

DWORD ReadParamField(const BYTE* block, ParamField field) {
    if (field.Width == 2) {
        uint16_t v;
        std::memcpy(&v, block + field.Offset, sizeof(v));
        return v;
    }
    return ReadU32(block, field.Offset);
}

void WriteParamField(BYTE* block, ParamField field, DWORD value) {
    if (field.Width == 2) {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(block + field.Offset, &v, sizeof(v));
        return;
    }
    WriteU32(block, field.Offset, value);
}

VKSERROR ReadGetterFields(const ParamGetter& getter, const BYTE* block, uint32_t* const* outs) {
    if (ReadU32(block, 0) < getter.MinSize) return VKSERROR_UNSUPPORTED;
    if (getter.SubBlockSize.Width != 0 && ReadParamField(block, getter.SubBlockSize) < getter.MinSubBlockSize()) {
        return VKSERROR_UNSUPPORTED;
    }
    for (uint8_t i = 0; i < getter.Count; ++i) *outs[i] = ReadParamField(block, getter.Fields[i]);
    return VKSERROR_NO_ERROR;
}

void ApplySetterWrites(const ParamSetter& setter, BYTE* block, const DWORD* args) {
    for (uint8_t i = 0; i < setter.Count; ++i) {
        const ParamWrite& w = setter.Writes[i];
        WriteParamField(block, w.Field, w.Arg == kParamConstant ? w.Value : args[w.Arg]);
    }
}

VKSERROR ReadRates(const RatesLayout& layout, const BYTE* block, uint32_t* p, uint32_t* q, uint32_t* r, uint32_t* s) {
    const DWORD size = ReadU32(block, 0);
    // A sub-block size word beyond the returned bytes was not sent: nothing is covered.
    const DWORD subSize = size >= layout.Size.End() ? ReadParamField(block, layout.Size) : 0;
    const auto covered = [&](ParamField f) { return size >= f.End() && subSize >= f.End() - layout.Size.Offset; };
    if (covered(layout.R)) *r = ReadParamField(block, layout.R);
    if (covered(layout.P)) *p = ReadParamField(block, layout.P);
    if (covered(layout.Q)) *q = ReadParamField(block, layout.Q);
    if (covered(layout.S)) *s = ReadParamField(block, layout.S);
    const bool all = covered(layout.P) && covered(layout.Q) && covered(layout.R) && covered(layout.S);
    return all ? VKSERROR_NO_ERROR : VKSERROR_UNSUPPORTED;
}

DWORD ComposeEnableCropping(BYTE* block, uint32_t enable) {
    WriteU32(block, 0, kDecoderParamBlockBytes);
    WriteParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, CroppingEnabled), enable);
    if (enable == 1) return kDecoderFlagCroppingEnabled;
    const DWORD width = ReadParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, Width));
    const DWORD height = ReadParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, Height));
    WriteParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, CroppingA), 0);
    WriteParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, CroppingB), 0);
    WriteParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, CroppingC), width);
    WriteParamField(block, VKS_PARAM_FIELD(DecoderParamBlock, CroppingD), height);
    return kDecoderFlagCroppingEnabled | kDecoderFlagCroppingRect;
}

DWORD ComposeSeek(const NetworkSeekParams& params, BYTE* block) {
    InitParamBlock(block, kNetworkParamBlockBytes);
    DWORD flags = 0;
    if (params.Flags & VKS_SEEK_TIME_VALID) {
        // Truncated toward zero; a time the 32-bit field cannot hold (or no
        // number at all) is refused rather than converted into nonsense.
        const double units = std::trunc(params.SeekTime * 10000000.0);
        if (!(units >= -2147483648.0 && units <= 2147483647.0)) return 0;
        const int32_t time100ns = static_cast<int32_t>(units);
        std::memcpy(block + offsetof(NetworkParamBlock, SeekTime100ns), &time100ns, sizeof(time100ns));
        flags |= kNetworkFlagSeekTime;
    }
    if (params.Flags & VKS_SEEK_POSITION_VALID) {
        WriteU64(block, offsetof(NetworkParamBlock, SeekPosition), params.SeekPosition);
        flags |= kNetworkFlagSeekPosition;
    }
    WriteU32(block, offsetof(NetworkParamBlock, Flags), flags);
    return flags;
}

VKSERROR SupportAnswer(VKSERROR status, uint32_t* supported) {
    if (status == VKSERROR_NO_ERROR) {
        *supported = 1;
        return VKSERROR_NO_ERROR;
    }
    if (status == VKSERROR_UNSUPPORTED) {
        *supported = 0;
        return VKSERROR_NO_ERROR;
    }
    return status;
}

bool TextFits(const char* text, DWORD capacity) {
    // The terminator must lie within the capacity; no byte past it is read.
    return text != nullptr && std::memchr(text, 0, capacity) != nullptr;
}

void WriteParamText(BYTE* block, DWORD offset, const char* text) {
    std::memcpy(block + offset, text, std::strlen(text) + 1);
}

VKSERROR RunParamGetter(HVKS handle, const ParamGetter& getter, DWORD selector, uint32_t* const* outs) {
    for (uint8_t i = 0; i < getter.Count; ++i) {
        if (outs[i] == nullptr) return VKSERROR_INVALID_ARGUMENT;
    }
    return WithLockedObject(handle, LockFailure::PassThrough, [&](UserHandle* object) {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, getter.BlockBytes);
        const VKSERROR status = VKSGetParameterK(object, selector, getter.Flags, block.Bytes);
        return status != VKSERROR_NO_ERROR ? status : ReadGetterFields(getter, block.Bytes, outs);
    });
}

VKSERROR RunParamSetter(HVKS handle, const ParamSetter& setter, DWORD selector, const DWORD* args) {
    return WithLockedObject(handle, setter.OnLockFailure, [&](UserHandle* object) {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, setter.BlockBytes);
        ApplySetterWrites(setter, block.Bytes, args);
        return VKSSetParameterK(object, selector, setter.Flags, block.Bytes);
    });
}

VKSERROR RunRatesGetter(HVKS handle, const RatesLayout& layout, DWORD blockBytes, DWORD flags, uint32_t* p,
                        uint32_t* q, uint32_t* r, uint32_t* s) {
    if (p == nullptr || q == nullptr || r == nullptr || s == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return WithLockedObject(handle, LockFailure::PassThrough, [&](UserHandle* object) {
        ParamBlockBuffer block;
        InitParamBlock(block.Bytes, blockBytes);
        const VKSERROR status = VKSGetParameterK(object, kParamCurrent, flags, block.Bytes);
        return status != VKSERROR_NO_ERROR ? status : ReadRates(layout, block.Bytes, p, q, r, s);
    });
}
