#pragma once
// The upload conversion as the file-operation flows call it:
//
//   1. On the UI thread, CConvertDlg (convert_dlg.h) lets the user choose the
//      masks and "音声の除去" with a live preview:
//        int r = RunConvertDialog(owner, input, &settings);
//      r == 0: confirmed, settings.masks / settings.silenceAudio hold the
//      choice; r == 2: cancelled or the preview could not be prepared.
//   2. On the flow's worker (the work of its JobControl), the conversion:
//        int r = RunUploadConversion(job, source, destination, settings,
//                                    totalFrames, progressStart);
//      r == 0 done, 1 failed (show "動画の変換に失敗しました。"), 2 cancelled
//      (JobControl::Cancel); progress goes through JobControl::Progress with
//      the values of the "UM_PROGRESS" messages (done, total), and the pace
//      (frames written, frames per second, time left) through
//      JobControl::SetDetail just before each.
//
// The x264 preset comes from the setting "CONVERT" / "PRESET" when the
// settings do not name one, the encoder from "CONVERT" / "ENCODER" when they
// say auto; "CONVERT" / "SPHERICAL" = 0 writes the plain file.

#include <string>

#include "kinetta/base/job_control.h"
#include "playcore/convert/convert_job.h"
#include "playcore/convert/convert_rules.h"

namespace kinetta {

// Worker thread of `job`. Returns 0 / 1 / 2 (playcore::ConvertResult); the
// reason of a failure goes to stderr, the job's failure text is the caller's.
int RunUploadConversion(JobControl& job, const std::string& source, const std::string& destination,
                        const playcore::ConvertSettings& settings, int totalFrames,
                        int progressStart);

// The pace line shown beside the conversion's progress bar: frames written
// of the total, frames per second and the time left (M:SS), in the
// interface's language.
std::string ConvertPaceText(int frames, int totalFrames, const playcore::ConvertPace& pace);

// The preset of the setting "CONVERT" / "PRESET", or the default when it is
// empty or not one of x264's presets.
std::string ConvertPresetSetting();

// The encoder of the setting "CONVERT" / "ENCODER": "auto" (also when empty
// or not one of the names), "x264", "vaapi" or "nvenc".
playcore::ConvertEncoder ConvertEncoderSetting();

// The setting "CONVERT" / "SPHERICAL": the spherical video metadata is
// written unless it is "0".
bool ConvertSphericalSetting();

} // namespace kinetta
