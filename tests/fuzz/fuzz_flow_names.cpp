// Fuzz target: the names the file operations form from a recording's name
// (the save's separated names, the join's prefixed names), on any bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "kinetta/fileops/join_flow.h"
#include "kinetta/fileops/save_flow.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kinetta;
    const std::string name(reinterpret_cast<const char*>(data), size);
    for (char camera : {'M', 'R'}) {
        const std::string s = SeparatedName(name, camera);
        // The name less one character plus "_" and the camera letter, or nothing.
        if (!s.empty() && s.size() != name.size() + 1) __builtin_trap();
    }
    RecordingEntry e;
    e.frontName = e.frontPath = name;
    e.rearName = e.rearPath = name;
    for (RecorderFamily f : {RecorderFamily::TX40, RecorderFamily::TX50})
        for (bool rear : {false, true}) {
            const std::string j = JoinedName(e, rear, JoinKind(true, rear), 99, f);
            if (!j.empty() && (j.size() > name.size() + 7 || j[0] != 'J')) __builtin_trap();
        }
    return 0;
}
