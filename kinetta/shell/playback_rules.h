#pragma once
// Playback arithmetic of the main window: default speed of a recording, the
// seek margin near the end, seek limits, the speed text and the tolerance after
// which the shorter movie of a pair counts as ended.

#include <string>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// Frame duration assumed when the camera's is unknown, in milliseconds.
inline constexpr double kDefaultFrameDurationMs = 34.36426;

// x0.5 (-2) for time-lapse recordings (time-lapse position 7 or 8 of the front
// name, or else of the rear name), x1.0 (1) otherwise.
int DefaultSpeedStep(const RecordingEntry& entry, RecorderFamily family);

// Frames kept clear of the end: c x 1000 / 29.1 / d, c = 40 at step 2, 80 at
// step 4, 20 otherwise; d the frame duration in ms (the default when <= 0).
int SeekMargin(int speedStep, double frameDurationMs);

// The frame a seek goes to: the requested frame clamped into 0..sliderLast and
// at most sliderLast minus 20 / 40 / 80 frames by speed step.
int SeekLimit(int requested, int sliderLast, int speedStep);

// "再生速度x1.0" and so on; empty for other steps.
std::string SpeedText(int speedStep);

// Frames past the shorter movie's length after which its area shows its
// no-data text: 60, 5 for parking recordings, 8 for parking time-lapse ones.
int PairEndTolerance(const RecordingEntry& entry);

// Picture quality stored for the information panel: 3 for 720 lines, 5 for
// 1080, 0 otherwise.
int PictureQuality(int height);

} // namespace kinetta
