// vksctl discover: one discovery session and what it finds.
#include "commands.h"
#include "event_queue.h"
#include "json_writer.h"
#include "output.h"
#include "status_names.h"

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl discover [--decoder N] [--seconds S] [--params VALUE] [--json]\n"
    "\n"
    "Opens a discovery session on the device of decoder N (default 0), starts it and\n"
    "lists the devices it finds. Stops after the first delivery, or collects for\n"
    "--seconds when given (default: wait up to 5 seconds for the first delivery).\n"
    "--params passes a start value to the device unchanged.\n";

struct Found {
    uint32_t interfaceNumber = 0;
    std::vector<uint8_t> entity;  // the driver's record of one thing
};

struct Collector {
    EventQueue queue;
    std::mutex mutex;
    std::vector<Found> found;
};

// The entity buffer is freed when the function returns: copy it.
void VKSAPI OnDiscovery(HVKS, DiscoParms* parms, void* context, VKSERROR status) {
    auto* c = static_cast<Collector*>(context);
    if (status == VKSERROR_NO_ERROR && parms && parms->pDiscoData && parms->pDiscoData->pEntityList) {
        const DiscoEntityList* list = parms->pDiscoData->pEntityList;
        const auto* bytes = static_cast<const uint8_t*>(list->pEntity);
        std::lock_guard lock(c->mutex);
        for (uint32_t offset = 0; bytes && offset + VKS_DISCO_ENTITY_SIZE <= list->EntitySize;
             offset += VKS_DISCO_ENTITY_SIZE) {
            Found f;
            f.interfaceNumber = list->Interface;
            f.entity.assign(bytes + offset, bytes + offset + VKS_DISCO_ENTITY_SIZE);
            c->found.push_back(std::move(f));
        }
    }
    c->queue.Push("discovery", status);
}

// A stream address (scheme://...) anywhere in the record's text runs: what
// `vksctl play` takes to show the thing found. Empty when there is none.
std::string StreamAddress(const std::vector<uint8_t>& entity) {
    std::string run;
    auto scan = [](const std::string& text) -> std::string {
        const size_t at = text.find("://");
        if (at == std::string::npos || at == 0) return {};
        size_t begin = at;
        while (begin > 0 && std::isalpha(static_cast<unsigned char>(text[begin - 1]))) --begin;
        size_t end = at + 3;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
        return begin < at && end > at + 3 ? text.substr(begin, end - begin) : std::string();
    };
    for (uint8_t b : entity) {
        if (b != 0 && std::isprint(b)) {
            run += static_cast<char>(b);
            continue;
        }
        if (std::string found = scan(run); !found.empty()) return found;
        run.clear();
    }
    return scan(run);
}

// The record's layout is the driver's; what people can read of it is the
// text it begins with.
std::string LeadingText(const std::vector<uint8_t>& entity) {
    std::string text;
    for (uint8_t b : entity) {
        if (b == 0 || !std::isprint(b)) break;
        text += static_cast<char>(b);
        if (text.size() >= 96) break;
    }
    return text;
}

}  // namespace

int CmdDiscover(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const uint32_t index = args.U32("--decoder").value_or(0);
    const auto seconds = args.Seconds("--seconds");
    uint64_t params = 0;
    if (auto p = args.U32("--params")) params = *p;
    if (!args.Finish()) return UsageError("discover", args.Error());
    const bool json = context.global.json;

    Collector collector;
    Engine engine;
    if (!LoadEngine("discover", &engine)) return kExitFailure;
    const std::string problem = CheckIndex(VKSDEVICETYPE_DECODER, index);
    if (!problem.empty()) {
        PrintError("discover", problem);
        return kExitUsage;  // a wrong number on the command line
    }
    HVKS session = 0;
    VKSERROR status = VKSDiscoInit(index, &session);
    if (status != VKSERROR_NO_ERROR) return FailWith("discover", "cannot open a discovery session", status);
    int exitStatus = kExitOk;
    VKSDiscoverySetCallbackFn(session, OnDiscovery, &collector);
    status = VKSDiscoStart(0, session, params);
    if (status != VKSERROR_NO_ERROR) {
        exitStatus = FailWith("discover", "cannot start discovery", status);
    } else {
        if (!json) {
            std::printf("discovering on the device of decoder %u\n", index);
            std::fflush(stdout);
        }
        const double limit = seconds.value_or(5.0);
        bool delivered = false;
        while (true) {
            if (!WaitUntil(collector.queue, 0, limit, 1000)) break;
            for (const Reported& r : collector.queue.Take()) {
                if (r.status == VKSERROR_NO_ERROR) {
                    delivered = true;
                } else if (!json) {
                    std::printf("%7.3fs  %s\n", r.seconds, StatusText(r.status).c_str());
                }
            }
            if (delivered && !seconds) break;
            if (collector.queue.Elapsed() >= limit) break;
        }
        VKSDiscoStop(0, session);
    }
    status = VKSDiscoUninit(0, session);
    if (status != VKSERROR_NO_ERROR) exitStatus = FailWith("discover", "closing the session", status);
    const VKSERROR freed = engine.Free();

    // The callbacks are over once the engine is freed.
    if (json) {
        JsonWriter j;
        j.BeginObject().Member("decoder", index).Key("found").BeginArray();
        for (size_t i = 0; i < collector.found.size(); ++i) {
            const Found& f = collector.found[i];
            j.BeginObject().Member("index", static_cast<uint32_t>(i)).Member("interface", f.interfaceNumber);
            j.Member("text", LeadingText(f.entity)).Member("record_bytes", static_cast<uint32_t>(f.entity.size()));
            j.Member("address", StreamAddress(f.entity));
            j.EndObject();
        }
        j.EndArray().EndObject().Print();
    } else if (collector.found.empty()) {
        std::printf("found nothing\n");
    } else {
        Table table({"#", "INTERFACE", "DEVICE", "TO PLAY IT"});
        for (size_t i = 0; i < collector.found.size(); ++i) {
            const std::string text = LeadingText(collector.found[i].entity);
            const std::string address = StreamAddress(collector.found[i].entity);
            table.Row({std::to_string(i), std::to_string(collector.found[i].interfaceNumber),
                       text.empty() ? "(record without text)" : text,
                       address.empty() ? "(the record names no stream address)"
                                       : "vksctl play --decoder " + std::to_string(index) + " " + address});
        }
        table.Print();
    }
    if (freed != VKSERROR_NO_ERROR) exitStatus = FailWith("discover", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
