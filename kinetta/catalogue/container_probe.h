#pragma once
// The catalogue's questions about movie files, answered by the container toolkit.

#include <memory>
#include <vector>

#include "kinetta/catalogue/catalogue.h"
#include "playcore/container/gps_block.h"

namespace kinetta {

// Completeness, frame counts, the streams of a combined file and the firmware
// version of a recording's GPS block, for the family of the run.
// Each file is opened once for all the scan's questions, and its answers are
// kept for the run (file_cache.h): scanning it again in the same state, by a
// folder switch or another scan, opens it no more.
RecordingProbe ContainerProbe(RecorderFamily family);
// The GPS records of a recording file, kept with its scan's answers or read
// now: positions and times in record order, no acceleration records and no
// time base. False (and null) when the file cannot be opened as a movie or
// its block cannot be decoded, where the group track stops (ReadAllTracks).
bool RecordingGpsTrack(const std::string& path, RecorderFamily family,
                       std::shared_ptr<const std::vector<playcore::GpsRecord>>* out);
// Drops every kept answer (a test that rewrites files within one timestamp).
void ForgetFileFacts();

// "%d.%d.%d" from the last five of the six identification bytes of a GPS
// block header: the first of the five, the next two, the last two, each read
// as a decimal number.
std::string FirmwareVersionText(const uint8_t (&id)[6]);

} // namespace kinetta
