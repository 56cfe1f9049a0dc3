// Device counts: the number of inputs of each type over all devices. They
// answer before the engine is loaded and after it is freed (0 then).
#include "core/engine.h"

namespace {

VKSERROR WriteCount(const DEVICE_TABLE& table, uint32_t* count) {
    if (count == nullptr) return VKSERROR_INVALID_ARGUMENT;
    *count = table.Count;
    return VKSERROR_NO_ERROR;
}

}  // namespace

extern "C" VKSERROR VKSAPI VKSNetworkPortGetCount(uint32_t* pCount) { return WriteCount(Global.NetworkPorts, pCount); }
extern "C" VKSERROR VKSAPI VKSDecoderGetCount(uint32_t* pCount) { return WriteCount(Global.Decoders, pCount); }
extern "C" VKSERROR VKSAPI VKSEncoderGetCount(uint32_t* pCount) { return WriteCount(Global.Encoders, pCount); }
extern "C" VKSERROR VKSAPI VKSDiscoGetCount(uint32_t* pCount) { return WriteCount(Global.Discoveries, pCount); }
