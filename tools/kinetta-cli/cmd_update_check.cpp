// kinetta-cli update-check: the viewer's update check run once in the
// foreground; prints the notice text exactly as the notice receives it
// (empty when nothing is offered). Ends within the check's deadline
// (kUpdateCheckBudget) however the servers behave.

#include <cstdio>

#include "kinetta/services/update_check.h"
#include "kinetta/services/update_fetch.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

namespace kcli {

int CmdUpdateCheck(Args args) {
    bool bad = false;
    const auto endpoints = TakeOption(args, "--endpoints", &bad);
    const auto model = TakeOption(args, "--model", &bad);
    const auto firmware = TakeOption(args, "--firmware", &bad);
    const auto gps = TakeOption(args, "--gps", &bad);
    if (bad || !endpoints || !args.empty()) {
        std::fprintf(stderr, "usage: kinetta-cli update-check --endpoints FILE [--model KEY] "
                             "[--firmware TEXT] [--gps TEXT]\n");
        return 2;
    }
    kinetta::UpdateEndpoints ep;
    if (!kinetta::ReadUpdateEndpoints(*endpoints, &ep)) {
        ReportFailure("update-check", *endpoints + ": cannot read the endpoints file");
        std::printf(
            "%s\n",
            kutil::JsonLine({{"ok", false}, {"error", "cannot read the endpoints file"}}).c_str());
        return 1;
    }
    kinetta::UpdateInputs in{firmware.value_or(""), gps.value_or(""), model.value_or("")};
    // The viewer's fetch: one deadline for the whole check.
    const std::string message = kinetta::RunUpdateCheck(in, ep, kinetta::CheckFetch(nullptr));
    std::printf("%s\n", kutil::JsonLine({{"ok", true}, {"message", message}}).c_str());
    return 0;
}

} // namespace kcli
