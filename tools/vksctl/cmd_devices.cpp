// vksctl devices: every input of every kind with its information record.
#include "commands.h"
#include "device_groups.h"
#include "json_writer.h"
#include "output.h"
#include "status_names.h"

#include <cstdio>
#include <cstring>

namespace vksctl {

namespace {

struct Kind {
    VKSDEVICETYPE type;
    const char* jsonName;
    VKSERROR(VKSAPI* getInfo)(uint32_t, VKSINFOA*);
};

const Kind kKinds[] = {
    {VKSDEVICETYPE_NETWORK, "network_ports", VKSNetworkPortGetInfoA},
    {VKSDEVICETYPE_DECODER, "decoders", VKSDecoderGetInfoA},
    {VKSDEVICETYPE_ENCODER, "encoders", VKSEncoderGetInfoA},
    {VKSDEVICETYPE_DISCOVERY, "discovery_inputs", VKSDiscoGetInfoA},
};

const char kHelp[] =
    "usage: vksctl devices [--records] [--json]\n"
    "\n"
    "Loads the engine and lists the network ports, decoders, encoders and discovery\n"
    "inputs with the text of their information records. Indexes are the global\n"
    "input indexes the other commands take. --records also shows the records' device\n"
    "data (as the device lays it out: little-endian 32-bit words); --json always has it.\n";

template <size_t N>
std::string WordsText(const uint8_t (&bytes)[N]) {
    return JoinWords(Words(bytes));
}

template <size_t N>
void WordsJson(JsonWriter& json, const char* name, const uint8_t (&bytes)[N]) {
    json.Key(name).BeginArray();
    for (uint32_t w : Words(bytes)) json.Number(uint64_t{w});
    json.EndArray();
}

}  // namespace

int CmdDevices(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const bool records = args.Flag("--records");
    if (!args.Finish()) return UsageError("devices", args.Error());

    Engine engine;
    if (!LoadEngine("devices", &engine)) return kExitFailure;

    JsonWriter json;
    json.BeginObject();
    Table table({"KIND", "INDEX", "NAME", "SERIAL", "FIRMWARE", "LOCATION"});
    int failures = 0;
    for (const Kind& kind : kKinds) {
        const uint32_t count = CountOf(kind.type);
        json.Key(kind.jsonName).BeginArray();
        for (uint32_t i = 0; i < count; ++i) {
            VKSINFOA info;
            std::memset(&info, 0, sizeof info);
            info.Size = sizeof info;
            const VKSERROR status = kind.getInfo(i, &info);
            json.BeginObject().Member("index", i);
            if (status == VKSERROR_NO_ERROR) {
                info.Text[sizeof info.Text - 1] = 0;
                const DeviceIdentity id = IdentityOf(info);
                json.Member("name", info.Text).Member("serial", id.serial).Member("firmware", id.firmware);
                json.Member("location", id.location).Member("info_bytes", info.Size);
                WordsJson(json, "device_data", info.DeviceData);
                WordsJson(json, "device_data2", info.DeviceData2);
                table.Row({KindName(kind.type), std::to_string(i), info.Text, id.serial, id.firmware, id.location});
                if (records) {
                    table.Row({"", "", "  data: " + WordsText(info.DeviceData), "", "", ""});
                    table.Row({"", "", "  data2: " + WordsText(info.DeviceData2), "", "", ""});
                }
            } else {
                ++failures;
                json.Member("error", StatusText(status));
                table.Row({KindName(kind.type), std::to_string(i), "(no information: " + StatusText(status) + ")", "-", "-",
                           "-"});
            }
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
    if (context.global.json) {
        json.Print();
    } else if (table.Rows() == 0) {
        std::printf("no inputs: the machine has no devices\n");
    } else {
        table.Print();
    }
    const VKSERROR freed = engine.Free();
    if (freed != VKSERROR_NO_ERROR) return FailWith("devices", "the engine was not freed cleanly", freed);
    return failures == 0 ? kExitOk : kExitFailure;
}

}  // namespace vksctl
