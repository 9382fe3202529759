#pragma once
// The sub-commands of kinetta-cli. The pure commands run in `kinetta-cli`
// itself, which loads no Qt, GL or codec library; the drawing commands run in
// `kinetta-cli-draw`, installed beside it, to which `kinetta-cli` hands them
// over with execv. Every command is one row of the table in commands.cpp.
//
// Each command takes the arguments after its name and returns the process
// exit status: 0 done, 1 failed, 2 bad usage. Output meant for programs is
// JSON, one object per line; a failure also writes one line on stderr.

#include <span>
#include <string>
#include <vector>

#include "kinetta/base/recorder_family.h"

namespace kcli {

using Args = std::vector<std::string>;
using CommandFn = int (*)(Args);

// Which executable runs a command.
enum class Side { Pure, Draw };

struct Command {
    const char* name;
    Side side;
    CommandFn run; // null in the executable of the other side
    const char* usage;
};

// Every command of both executables, in the order `--help` lists them.
std::span<const Command> Commands();

// Takes "--family tx40|tx50" out of args and sets the family of the run.
// False (with a message on stderr) when the value is missing or unknown.
bool TakeFamilyOption(Args& args, playcore::RecorderFamily* family);

// Why `path` cannot be read as a recording, as "PATH: reason"; empty when it
// is a regular file that can be opened for reading. Never opens anything but
// a regular file, so a FIFO or a device cannot make a command wait.
std::string UnreadableReason(const std::string& path);

// The source kind (kinetta::SourceKind) of a "--kind" value: "sd" a card,
// "folder", "file"; kSourceNone (0) for anything else.
int SourceKindOf(const std::string& text);
// Why path cannot be a source of that kind: a card and a folder must be
// folders, a file a readable regular file. Empty when it can.
std::string SourceProblem(const std::string& path, int kind);

// Writes "kinetta-cli COMMAND: reason" on stderr.
void ReportFailure(const char* command, const std::string& reason);

// ---- pure commands (kinetta-cli) ----
int CmdNames(Args args);
int CmdScan(Args args);
int CmdInfo(Args args);
int CmdTelemetry(Args args);
int CmdJoin(Args args);
int CmdSplit(Args args);
int CmdSave(Args args);
int CmdEvents(Args args);
int CmdUpdateCheck(Args args);
int CmdCsv(Args args);
int CmdGpx(Args args);
int CmdClip(Args args);
int CmdClips(Args args);

// ---- drawing commands (kinetta-cli-draw) ----
int CmdRender(Args args);
int CmdGraph(Args args);
int CmdPanel(Args args);
int CmdMap(Args args);
int CmdGrab(Args args);
int CmdConvert(Args args);

} // namespace kcli
