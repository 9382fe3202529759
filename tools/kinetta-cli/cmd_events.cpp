// kinetta-cli events: the event list of a recording as the viewer builds it
// (one JSON object per event, in list order).

#include <cstdio>
#include <mutex>

#include "kinetta/telemetry/event_list.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

namespace kcli {

int CmdEvents(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    bool bad = false;
    kinetta::DetectorFlags flags;
    const auto off = TakeOption(args, "--off", &bad);
    if (bad || args.size() != 1 || (off && !ApplyOffList(*off, &flags))) {
        std::fprintf(stderr,
                     "usage: kinetta-cli events --family tx40|tx50 FILE [--off ENTRY,...]\n");
        return 2;
    }
    playcore::sGPSREADER reader;
    if (!LoadWithTimeBase(args[0], family, &reader)) {
        std::fprintf(stderr, "kinetta-cli events: cannot read %s\n", args[0].c_str());
        return 1;
    }
    std::lock_guard lock(reader.mutex);
    const kinetta::EventList events =
        kinetta::BuildEventList(reader.frameTable, reader.accel, flags.listing, family);
    for (const kinetta::GraphEvent& e : events) {
        const kutil::Json j{{"record", e.record},
                            {"frame", e.accel->framePos},
                            {"kind", e.kind},
                            {"entry", e.entry}};
        std::printf("%s\n", kutil::JsonLine(j).c_str());
    }
    return 0;
}

} // namespace kcli
