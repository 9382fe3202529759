// Fuzz target: every operation of the file-name grammar on any bytes, both families.

#include <cstddef>
#include <cstdint>
#include <string>

#include "kinetta/catalogue/recording_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kinetta;
    std::string name(reinterpret_cast<const char*>(data), size);
    for (RecorderFamily f : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        (void)IsRecordingName(name, f);
        (void)HasJoinPrefix(name, f);
        bool combined = IsCombinedName(name, f);
        bool front = IsFrontName(name, f);
        (void)IsRearName(name, f);
        bool camera = IsCameraName(name, f);
        // Every camera or combined name of the grammar has a known trigger.
        if ((front || camera || combined) && !HasKnownTrigger(name, f)) __builtin_trap();
        (void)IsRecordingMovieFile(name, f);
        for (auto p : {TriggerPosition::Trigger, TriggerPosition::TimeLapse,
                       TriggerPosition::Enforcement}) {
            int code = TriggerCode(name, p, f);
            if (code < -1 || code > 8) __builtin_trap();
        }
        (void)TriggerText(name, f);
        (void)TriggerFilterBits(name, f);
        (void)IsEventRecording(name, f);
        (void)IsParkingRecording(name, f);
        if (RecordingBaseName(name, f).size() > name.size()) __builtin_trap();
    }
    (void)IsFrontNameAnyExt(name);
    (void)IsRearNameAnyExt(name);
    (void)JoinCount(name);
    if (StripJoinPrefix(name).size() > name.size()) __builtin_trap();
    if (DisplayName(name).size() > name.size()) __builtin_trap();
    return 0;
}
