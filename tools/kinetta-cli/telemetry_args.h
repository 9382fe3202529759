#pragma once
// Options shared by the telemetry view commands (events, graph, panel).

#include <optional>
#include <string>

#include "kinetta/telemetry/detectors.h"
#include "playcore/container/gps_reader.h"
#include "tools/kinetta-cli/commands.h"

namespace kcli {

// Takes "--NAME VALUE" out of args; nullopt when absent, *bad when the value is missing.
std::optional<std::string> TakeOption(Args& args, const std::string& name, bool* bad);
// Parses a non-negative integer option value.
bool ParseCount(const std::string& text, long long* out);
// "--off ENTRY,...": switches those entries' flags off (both flags). False for
// an entry that is not 0..9.
bool ApplyOffList(const std::string& list, kinetta::DetectorFlags* flags);
// Loads path's records and builds the time base for its first video track's
// frame count, as the viewer's session does for the movie it opens.
bool LoadWithTimeBase(const std::string& path, playcore::RecorderFamily family,
                      playcore::sGPSREADER* reader);

} // namespace kcli
