// kinetta-cli names: how the file-name grammar reads each name.

#include <cstdio>

#include "kinetta/catalogue/recording_names.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_writer.h"

namespace kcli {

int CmdNames(Args args) {
    using namespace kinetta;
    RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    const bool tx50 = family == RecorderFamily::TX50;
    for (const std::string& name : args) {
        kutil::JsonWriter j;
        j.BeginObject();
        j.Key("name").String(name);
        j.Key("isRecording").Bool(IsRecordingName(name, family));
        j.Key("hasJoinPrefix").Bool(HasJoinPrefix(name, family));
        j.Key("isCombined").Bool(IsCombinedName(name, family));
        j.Key("isFront").Bool(IsFrontName(name, family));
        j.Key("isRear").Bool(IsRearName(name, family));
        j.Key("isCamera").Bool(IsCameraName(name, family));
        j.Key("isFrontAnyExt").Bool(IsFrontNameAnyExt(name));
        j.Key("isRearAnyExt").Bool(IsRearNameAnyExt(name));
        j.Key("isMovieFile").Bool(IsRecordingMovieFile(name, family));
        j.Key("trigger").Int(TriggerCode(name, TriggerPosition::Trigger, family));
        j.Key("timeLapse").Int(tx50 ? TriggerCode(name, TriggerPosition::TimeLapse, family) : -1);
        j.Key("enforcement")
            .Int(tx50 ? TriggerCode(name, TriggerPosition::Enforcement, family) : -1);
        j.Key("triggerText").String(TriggerText(name, family));
        j.Key("filterBits").Int(TriggerFilterBits(name, family));
        j.Key("hasKnownTrigger").Bool(HasKnownTrigger(name, family));
        j.Key("isEvent").Bool(IsEventRecording(name, family));
        j.Key("parking").Bool(IsParkingRecording(name, family));
        j.Key("baseName").String(RecordingBaseName(name, family));
        j.Key("joinCount").Int(JoinCount(name));
        j.Key("stripJoinPrefix").String(StripJoinPrefix(name));
        j.Key("displayName").String(DisplayName(name));
        j.EndObject();
        std::printf("%s\n", j.str().c_str());
    }
    return 0;
}

} // namespace kcli
