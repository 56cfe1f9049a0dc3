// vksctl param get|set|list: one parameter of a decoder, encoder or network
// stream, read with a selector (current, minimum, maximum, default) or set.
#include "commands.h"
#include "json_writer.h"
#include "output.h"
#include "param_table.h"
#include "status_names.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl param get FAMILY NAME [--min|--max|--default|--selector S] [options]\n"
    "       vksctl param set FAMILY NAME VALUE[,VALUE...] [options]\n"
    "       vksctl param list [FAMILY]\n"
    "\n"
    "FAMILY is decoder, encoder or stream. Parameters belong to an open object: vksctl\n"
    "opens the input for the command and closes it afterwards, so a value set lasts for\n"
    "that session only (the set is read back to show what the device took).\n"
    "\n"
    "options:\n"
    "  --index N        the decoder, encoder or network port index (default 0)\n"
    "  --address A      (stream) the address the stream is opened with\n"
    "                   (default udp://239.1.1.1:5000)\n"
    "  --selector S     current, minimum, maximum or default (default current)\n";

std::string KnownNames(const std::string& family) {
    std::string names;
    for (const Param* p = AllParams(); p->family; ++p)
        if (family == p->family) names += (names.empty() ? "" : ", ") + std::string(p->name);
    return names;
}

// Units where the value's meaning fixes them; the device defines the rest
// (the library passes every value unchanged).
const char* UnitOf(const Param& p) {
    static const struct {
        const char* family;
        const char* name;
        const char* unit;
    } kUnits[] = {{"encoder", "frame-rate", "frames/s"}, {"encoder", "bit-rate", "bit/s"},
                  {"encoder", "key-frame-interval", "frames"}, {"encoder", "resolution", "pixels"},
                  {"decoder", "resolution", "pixels"}};
    for (const auto& u : kUnits)
        if (std::strcmp(p.family, u.family) == 0 && std::strcmp(p.name, u.name) == 0) return u.unit;
    return "device-defined";
}

int List(const std::string& family, bool json) {
    JsonWriter j;
    j.BeginArray();
    Table table({"FAMILY", "NAME", "VALUES", "UNIT", "SELECTORS", "SET", "MEANING"});
    for (const Param* p = AllParams(); p->family; ++p) {
        if (!family.empty() && family != p->family) continue;
        std::string selectors;
        j.BeginObject().Member("family", p->family).Member("name", p->name).Member("values", p->values);
        j.Key("selectors").BeginArray();
        for (int s = 0; s < kSelectorCount; ++s)
            if (p->get[s]) {
                selectors += (selectors.empty() ? "" : ",") + std::string(SelectorName(s));
                j.String(SelectorName(s));
            }
        j.EndArray().Member("settable", p->set != nullptr).Member("meaning", p->meaning);
        j.Member("unit", UnitOf(*p)).EndObject();
        table.Row({p->family, p->name, std::to_string(p->values), UnitOf(*p), selectors.empty() ? "-" : selectors,
                   p->set ? "yes" : "no", p->meaning});
    }
    j.EndArray();
    if (json)
        j.Print();
    else
        table.Print();
    return kExitOk;
}

// The object a parameter lives on, closed when the command ends.
struct Object {
    std::string family;
    HVKS handle = 0;
    ~Object() { Close(); }
    void Close() {
        if (!handle) return;
        if (family == "decoder") VKSDecoderDeviceClose(handle);
        if (family == "encoder") VKSEncoderDeviceClose(handle);
        if (family == "stream") VKSNetworkStreamClose(handle);
        handle = 0;
    }
};

}  // namespace

int CmdParam(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const uint32_t index = args.U32("--index").value_or(0);
    const std::string address = args.Value("--address").value_or("udp://239.1.1.1:5000");
    std::string selectorText = args.Value("--selector").value_or("current");
    if (args.Flag("--min")) selectorText = "minimum";
    if (args.Flag("--max")) selectorText = "maximum";
    if (args.Flag("--default")) selectorText = "default";
    const std::string verb = args.Positional().value_or("");
    const std::string family = args.Positional().value_or("");
    const bool json = context.global.json;
    if (verb == "list") {
        if (!args.Finish()) return UsageError("param", args.Error());
        if (!family.empty() && !IsFamily(family))
            return UsageError("param", "unknown family '" + family + "' (decoder, encoder or stream)");
        return List(family, json);
    }
    if (verb != "get" && verb != "set")
        return UsageError("param", verb.empty() ? "get, set or list is missing" : "unknown action '" + verb + "'");
    if (family.empty()) return UsageError("param", "the family (decoder, encoder or stream) is missing");
    if (!IsFamily(family)) return UsageError("param", "unknown family '" + family + "' (decoder, encoder or stream)");
    const std::string name = args.Positional().value_or("");
    if (name.empty()) return UsageError("param", "the parameter name is missing");
    std::string valueText;
    if (verb == "set") {
        auto v = args.Positional();
        if (!v) return UsageError("param", "the value to set is missing");
        valueText = *v;
    }
    if (!args.Finish()) return UsageError("param", args.Error());

    const Param* param = FindParam(family, name);
    if (!param) {
        PrintError("param", "unknown " + family + " parameter '" + name + "' (known: " + KnownNames(family) + ")");
        return kExitUsage;
    }
    int selector = -1;
    for (int s = 0; s < kSelectorCount; ++s)
        if (selectorText == SelectorName(s) || selectorText == std::string(SelectorName(s)).substr(0, 3)) selector = s;
    if (selector < 0) return UsageError("param", "unknown selector '" + selectorText + "'");
    uint32_t values[4] = {};
    if (verb == "get" && !param->get[selector]) {
        PrintError("param", std::string(family) + " parameter " + name + " has no " + SelectorName(selector) + " value" +
                                (param->get[kCurrent] ? "" : " (it can only be set)"));
        return kExitFailure;
    }
    if (verb == "set") {
        if (!param->set) {
            PrintError("param", std::string(family) + " parameter " + name + " is read-only");
            return kExitFailure;
        }
        std::string problem;
        if (!ParseParamValues(*param, valueText, values, &problem)) return UsageError("param", problem);
    }

    Engine engine;
    if (!LoadEngine("param", &engine)) return kExitFailure;
    const VKSDEVICETYPE type = family == "decoder"   ? VKSDEVICETYPE_DECODER
                               : family == "encoder" ? VKSDEVICETYPE_ENCODER
                                                     : VKSDEVICETYPE_NETWORK;
    const std::string problem = CheckIndex(type, index);
    if (!problem.empty()) {
        PrintError("param", problem);
        return kExitUsage;  // a wrong number on the command line
    }
    Object object;
    object.family = family;
    VKSERROR status;
    if (family == "decoder") {
        // The parameters do not need sound; an audio thread would only cost.
        VKSDecoderDeviceSetAudioDecodeEnabled(0);
        VKSGUID session{};
        status = VKSDecoderDeviceOpenEx(index, 0, 0, &object.handle, nullptr, &session);
    } else if (family == "encoder") {
        status = VKSEncoderDeviceOpen(index, 0, &object.handle);
    } else {
        status = VKSNetworkStreamOpenExA(index, address.c_str(), 0, &object.handle, nullptr);
    }
    if (status != VKSERROR_NO_ERROR) {
        object.handle = 0;
        return FailWith("param", "cannot open " + family + " " + std::to_string(index), status);
    }

    JsonWriter j;
    j.BeginObject().Member("family", family).Member("index", index).Member("name", name);
    int exitStatus = kExitOk;
    if (verb == "get") {
        status = param->get[selector](object.handle, values);
        if (status != VKSERROR_NO_ERROR) {
            exitStatus = FailWith("param", "reading " + family + " " + name, status);
        } else {
            j.Member("selector", SelectorName(selector)).Key("values").BeginArray();
            for (int i = 0; i < param->values; ++i) j.Number(uint64_t{values[i]});
            j.EndArray();
            if (!json)
                std::printf("%s %u %s (%s): %s\n", family.c_str(), index, name.c_str(), SelectorName(selector),
                            JoinValues(values, param->values).c_str());
        }
    } else {
        std::string problem;
        status = SetParam(*param, object.handle, values, valueText, &problem);
        if (status != VKSERROR_NO_ERROR) {
            PrintError("param", problem);
            exitStatus = kExitFailure;
        } else {
            // The object is closed when vksctl exits, and the device forgets
            // what was set on it: the value holds for this session only.
            j.Member("set", valueText).Member("session_only", true);
            if (!json) {
                std::printf("%s %u %s set to %s\n", family.c_str(), index, name.c_str(),
                            JoinValues(values, param->values).c_str());
                std::printf("note: this lasts only while vksctl has the %s open, that is, for this command; "
                            "give it to a session with play or encode --param %s=%s\n",
                            family.c_str(), name.c_str(), valueText.c_str());
            }
            uint32_t now[4] = {};
            if (param->get[kCurrent] && param->get[kCurrent](object.handle, now) == VKSERROR_NO_ERROR) {
                j.Key("now").BeginArray();
                for (int i = 0; i < param->values; ++i) j.Number(uint64_t{now[i]});
                j.EndArray();
                if (!json) std::printf("read back: %s\n", JoinValues(now, param->values).c_str());
            }
        }
    }
    j.EndObject();
    object.Close();
    const VKSERROR freed = engine.Free();
    if (json && exitStatus == kExitOk) j.Print();
    if (freed != VKSERROR_NO_ERROR) return FailWith("param", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
