#pragma once
// The join flow's work: consecutive recordings joined per camera into one
// movie without re-encoding, named with the join prefix ("J", the kind M/R/B/N
// of the cameras joined, the sum of the recordings' join counts in two
// digits, "_", then the first recording's name without its own prefix).
// Combined recordings are first separated into "tempsplit%04d_M"/"_R" files
// in the output folder, which stand in for them and are removed afterwards.
// Optionally the joined front movie is converted for upload.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// The join kind letter of the camera switches: M front only, R rear only,
// B both, N none.
char JoinKind(bool front, bool rear);

// The output name of one camera: the join prefix of kind and count before
// the first recording's camera file name (its own prefix removed). For a
// combined first recording the camera's separated name is used ('M' or 'R'),
// so the two outputs never share a name.
std::string JoinedName(const RecordingEntry& first, bool rearCamera, char kind, int count,
                       RecorderFamily family);

struct JoinPlan {
    std::string folder;
    RecorderFamily family = RecorderFamily::TX40;
    std::vector<RecordingEntry> entries; // in row order, consecutive
    bool front = true, rear = true;
    std::string frontOut, rearOut; // empty: that camera is not joined
    bool remember = true;          // store the folder under "CONNECT_FOLDER" on success
    std::string convertOut;        // empty: no upload conversion of the joined front movie

    std::vector<std::string> ExistingOutputs() const;
    // Bytes of one camera's inputs: what its output will take at most.
    uint64_t CameraBytes(bool rearCamera) const;
    // Bytes written in the folder at most: the outputs and the stand-ins.
    uint64_t Bytes() const;
    // Whether a camera's output could reach 4 GiB.
    bool TooLarge() const;
    // Bytes of the largest single output at most (a camera's inputs), for the
    // file-size limit of the folder's file system.
    uint64_t LargestOutput() const;
};

JoinPlan PlanJoin(const std::vector<RecordingEntry>& entries, const std::string& folder, bool front,
                  bool rear, RecorderFamily family);

// Converts the joined front movie at source to destination on the worker;
// returns 0 done, 1 failed, 2 cancelled.
using JoinConversion =
    std::function<int(JobControl& job, const std::string& source, const std::string& destination)>;

// The work (worker thread). Progress: (0, count) after the first recording
// is opened, then (0, n), (50, n), (100, n) around the two writes. A cleared
// running flag while appending or writing ends the flow with nothing written
// (a front output already written is removed again, so the outputs appear
// together or not at all). Failure: "動画の連結に失敗しました。" (or the
// conversion's "動画の変換に失敗しました。"), nothing written. Success:
// "CONNECT_FOLDER", (100, 100), completion. The stand-ins are removed in
// every case. Returns UM_FILEOP_DONE.
std::uint32_t RunJoin(const JoinPlan& plan, JobControl& job, const JoinConversion& convert = {},
                      std::string* why = nullptr);

} // namespace kinetta
