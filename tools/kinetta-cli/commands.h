#pragma once
// Sub-commands of kinetta-cli. Each takes the arguments after its name and
// returns the process exit code. Output meant for programs is JSON, one
// object per line.

#include <string>
#include <vector>

#include "kinetta/shell/recorder_family.h"

namespace kcli {

using Args = std::vector<std::string>;

// Takes "--family tx40|tx50" out of args and sets the family of the run.
// False (with a message on stderr) when the value is missing or unknown.
bool TakeFamilyOption(Args& args, kinetta::RecorderFamily* family);

int CmdNames(Args args);
int CmdScan(Args args);
int CmdRender(Args args);
int CmdInfo(Args args);
int CmdTelemetry(Args args);
int CmdJoin(Args args);
int CmdSplit(Args args);
int CmdEvents(Args args);
int CmdGraph(Args args);
int CmdPanel(Args args);

} // namespace kcli
