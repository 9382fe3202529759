// kinetta-cli names: how the file-name grammar reads each name.

#include <cstdio>

#include "kinetta/catalogue/recording_names.h"
#include "tools/kinetta-cli/commands.h"
#include "util/json_text.h"

namespace kcli {

int CmdNames(Args args) {
    using namespace kinetta;
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    const bool tx50 = family == kinetta::RecorderFamily::TX50;
    for (const std::string& name : args) {
        kutil::Json j;
        j["name"] = name;
        j["isRecording"] = IsRecordingName(name, family);
        j["hasJoinPrefix"] = HasJoinPrefix(name, family);
        j["isCombined"] = IsCombinedName(name, family);
        j["isFront"] = IsFrontName(name, family);
        j["isRear"] = IsRearName(name, family);
        j["isCamera"] = IsCameraName(name, family);
        j["isFrontAnyExt"] = IsFrontNameAnyExt(name);
        j["isRearAnyExt"] = IsRearNameAnyExt(name);
        j["isMovieFile"] = IsRecordingMovieFile(name, family);
        j["trigger"] = TriggerCode(name, TriggerPosition::Trigger, family);
        j["timeLapse"] = tx50 ? TriggerCode(name, TriggerPosition::TimeLapse, family) : -1;
        j["enforcement"] = tx50 ? TriggerCode(name, TriggerPosition::Enforcement, family) : -1;
        j["triggerText"] = TriggerText(name, family);
        j["filterBits"] = TriggerFilterBits(name, family);
        j["hasKnownTrigger"] = HasKnownTrigger(name, family);
        j["isEvent"] = IsEventRecording(name, family);
        j["parking"] = IsParkingRecording(name, family);
        j["baseName"] = RecordingBaseName(name, family);
        j["joinCount"] = JoinCount(name);
        j["stripJoinPrefix"] = StripJoinPrefix(name);
        j["displayName"] = DisplayName(name);
        std::printf("%s\n", kutil::JsonLine(j).c_str());
    }
    return 0;
}

} // namespace kcli
