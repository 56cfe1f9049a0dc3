// vksctl: loads the engine, lists what it found and frees it again.
#include "vksacc.h"

#include <cstdio>
#include <cstring>

namespace {

struct Family {
    const char* name;
    VKSERROR(VKSAPI* getCount)(uint32_t*);
    VKSERROR(VKSAPI* getInfo)(uint32_t, VKSINFOA*);
};

const Family kFamilies[] = {
    {"network ports", VKSNetworkPortGetCount, VKSNetworkPortGetInfoA},
    {"decoders", VKSDecoderGetCount, VKSDecoderGetInfoA},
    {"encoders", VKSEncoderGetCount, VKSEncoderGetInfoA},
    {"discovery inputs", VKSDiscoGetCount, VKSDiscoGetInfoA},
};

int Usage(FILE* out) {
    std::fprintf(out,
                 "usage: vksctl devices\n"
                 "  devices   load the engine and list the inputs of every device\n");
    return out == stdout ? 0 : 2;
}

int Devices() {
    VKSHENGINE engine = nullptr;
    const VKSERROR loaded = VKSEngineLoad(&engine);
    if (loaded != VKSERROR_NO_ERROR) {
        std::fprintf(stderr, "vksctl: the engine did not load: status 0x%08X\n", loaded);
        return 1;
    }
    std::printf("engine loaded\n");
    for (const Family& family : kFamilies) {
        uint32_t count = 0;
        family.getCount(&count);
        std::printf("%-17s %u\n", family.name, count);
        for (uint32_t i = 0; i < count; ++i) {
            VKSINFOA info;
            std::memset(&info, 0, sizeof(info));
            info.Size = sizeof(info);
            const VKSERROR status = family.getInfo(i, &info);
            if (status == VKSERROR_NO_ERROR) {
                std::printf("  [%u] %s\n", i, info.Text);
            } else {
                std::printf("  [%u] (no information: status 0x%08X)\n", i, status);
            }
        }
    }
    const VKSERROR freed = VKSEngineFree(engine);
    std::printf("engine freed\n");
    return freed == VKSERROR_NO_ERROR ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Devices();
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return Usage(stdout);
    if (std::strcmp(argv[1], "devices") == 0) return Devices();
    std::fprintf(stderr, "vksctl: unknown command '%s'\n", argv[1]);
    return Usage(stderr);
}
