#pragma once
// The file names of the still pictures: one JPEG per camera, named after the
// chosen folder, the recording, its file number and the playback position,
// so that stills of different recordings and positions never meet. Pure.

#include <string>
#include <string_view>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

// The folder's tag: its last path component (trailing separators ignored).
// A folder with no separator to split at (a bare drive such as "D:" or
// "D:\") gives only its first character; the root "/" gives an empty tag.
std::string SnapshotFolderTag(std::string_view folder);

// The recording's file number: the three digits that open its name (after
// any join prefix); 0 when the name does not start with digits.
int RecordingFileNumber(std::string_view name);

// The front camera's path for recording name (the front file's name, or the
// rear file's when there is no front file) with file number number at frame
// position: folder, a separator unless folder ends in one, then
// "<tag>-<name up to its first '.'>-<number %03d>_<position %06d>" with
// "_M" added in the TX40 family, and ".jpg". Empty for a negative position.
std::string SnapshotFrontPath(std::string_view folder, std::string_view recordingName, int number,
                              int64_t position, RecorderFamily family);

// The rear camera's path: the front path with its camera letter exchanged
// (TX40 family: the "M" of "_M.jpg" becomes "R"; TX50 family: the recording
// tag's last letter, "F" becomes "R" and "R" becomes "F"). When there is no
// such letter to exchange, "_R" is put before ".jpg" so that the rear
// picture never takes the front picture's name.
std::string SnapshotRearPath(std::string_view frontPath, RecorderFamily family);

} // namespace kinetta
