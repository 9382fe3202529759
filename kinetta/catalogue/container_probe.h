#pragma once
// The catalogue's questions about movie files, answered by the container toolkit.

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// Completeness, frame counts, the streams of a combined file and the firmware
// version of a recording's GPS block, for the family of the run.
RecordingProbe ContainerProbe(RecorderFamily family);

// "%d.%d.%d" from the last five of the six identification bytes of a GPS
// block header: the first of the five, the next two, the last two, each read
// as a decimal number.
std::string FirmwareVersionText(const uint8_t (&id)[6]);

} // namespace kinetta
