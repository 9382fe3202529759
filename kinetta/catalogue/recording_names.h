#pragma once
// The recorder's file-name grammar: the only place that classifies, takes
// apart or rewrites a recording's name. Every function reads the family of the
// run (CurrentFamily()) unless one is passed; names are bare file names.

#include <string>
#include <string_view>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

// Trigger codes; -1 means that no trigger was recognised.
enum TriggerCodes : int {
    kTriggerNone = -1,
    kTriggerContinuous = 0,    // A
    kTriggerShock = 1,         // G
    kTriggerManual = 2,        // M
    kTriggerParking = 3,       // P
    kTriggerParkingShock = 4,  // S
    kTriggerSpeedCamera = 5,   // O
    kTriggerRadar = 6,         // R
    kTriggerParkingT = 7,      // T
    kTriggerParkingShockU = 8, // U
};

// The three positions a TX50 name is read at (from the end of the name).
enum class TriggerPosition { Trigger, TimeLapse, Enforcement };

int TriggerCode(std::string_view name, TriggerPosition position, RecorderFamily family);
int TriggerCode(std::string_view name, TriggerPosition position = TriggerPosition::Trigger);

bool IsRecordingName(std::string_view name, RecorderFamily family);
bool HasJoinPrefix(std::string_view name, RecorderFamily family);
// The recorder's combined form, or an event clip cut from a combined
// recording (ClipNameKind Combined), so that such a clip opens as one file
// serving both movie areas.
bool IsCombinedName(std::string_view name, RecorderFamily family);
bool IsFrontName(std::string_view name, RecorderFamily family);
bool IsRearName(std::string_view name, RecorderFamily family);
bool IsCameraName(std::string_view name, RecorderFamily family);
// Front or rear movie or unfinished (".DAT") file of the TX50 grammar, whatever the family.
bool IsFrontNameAnyExt(std::string_view name);
bool IsRearNameAnyExt(std::string_view name);
// A full path: IsCameraName of its name, and an extension of ".MP4" in any case.
bool IsRecordingMovieFile(std::string_view path, RecorderFamily family);

// Text of the recording list's trigger column ("常時", "衝撃", ...), or empty.
std::string TriggerText(std::string_view name, RecorderFamily family);
// Filter bits of the recording list's trigger switches.
int TriggerFilterBits(std::string_view name, RecorderFamily family);
bool HasKnownTrigger(std::string_view name, RecorderFamily family);
bool IsEventRecording(std::string_view name, RecorderFamily family);
// Parking kinds are moved to the delete folder as "PTM" files.
bool IsParkingRecording(std::string_view name, RecorderFamily family);

std::string RecordingBaseName(std::string_view name, RecorderFamily family);
int JoinCount(std::string_view name);
std::string StripJoinPrefix(std::string_view name);
// The recording list's name column: the part before the first '.', and when
// that part ends in letter + '_' + camera, only the part before that '_'.
std::string DisplayName(std::string_view name);

// The event clips this program cuts (kinetta/clips), whatever the family:
//   "EV_" (YYYYMMDD | "N" NNN) "_" HHMMSS "_" kind ["_" n] ["_F" | "_R"] ".MP4"
// kind in lower-case letters, n a number that keeps a name free, ".mp4"
// also accepted. "_F" / "_R" are the cameras of a pair, no suffix a clip of a
// combined recording. The recorder's grammar accepts none of them (they do
// not start with a file number), so a folder scan never lists a clip; the
// single-file source opens them.
enum class ClipNameKind { None, Front, Rear, Combined };
ClipNameKind ClassifyClipName(std::string_view name);
// The other camera's name of a clip of a pair ("_F" and "_R" exchanged);
// empty for any other name.
std::string ClipPartnerName(std::string_view name);

// The text and filter bit of a trigger code (0..8); empty / 0 otherwise.
std::string_view TriggerCodeText(int code);
int TriggerCodeBit(int code);

// The same, reading the family of the run.
bool IsRecordingName(std::string_view name);
bool HasJoinPrefix(std::string_view name);
bool IsCombinedName(std::string_view name);
bool IsFrontName(std::string_view name);
bool IsRearName(std::string_view name);
bool IsCameraName(std::string_view name);
bool IsRecordingMovieFile(std::string_view path);
std::string TriggerText(std::string_view name);
int TriggerFilterBits(std::string_view name);
bool HasKnownTrigger(std::string_view name);
bool IsEventRecording(std::string_view name);
bool IsParkingRecording(std::string_view name);
std::string RecordingBaseName(std::string_view name);

} // namespace kinetta
