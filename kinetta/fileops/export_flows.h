#pragma once
// CStillCapture (and the CSV export on CFileOps): the main window's two exports.
//
// The two exports of the main window that are not file-operation flows of
// their own kind: the CSV export of the recording list (a flow on CFileOps:
// its work runs on the flows' worker) and the still pictures of both cameras
// (on the UI thread, as the pictures are taken from the windows).

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

class CFileOps;

// The CSV export's prepare step (UI thread, inside CFileOps::Run): asks for
// the folder ("CSV_FOLDER", "出力先フォルダーを選択してください。"), refuses an
// empty list ("動画ファイルがありません。") and a first recording without a
// start time ("CSVファイルが作成できません。"), asks before replacing a file
// of the same name. Returns the work that writes the file of rows (a copy) on
// the worker, or nothing when the flow ends here. The work reports progress
// per row, stores the folder and completes on success, reports
// "CSVファイルが作成できません。" when the file cannot be written, and leaves
// nothing behind when cancelled.
JobControl::Work PrepareCsvExport(CFileOps& ops, std::vector<RecordingEntry> rows,
                                  RecorderFamily family);

// The still-picture command: a JPEG of each camera's picture at the playback
// position P, named after the folder, the recording, its number and P. The
// window's side is the host; the prompts and questions are the flows' own
// (CFileOps), so tests answer them the same way.
class CStillCapture {
public:
    struct Host {
        // Disables (true) or restores (false) the toolbar and the window's
        // other controls for the duration.
        std::function<void(bool disabled)> holdControls;
        // The recording of the selected row, or of row 0 when none is
        // selected; nullopt when the list is empty.
        std::function<std::optional<RecordingEntry>()> recording;
        // Stops a playing movie where it stands and returns the position P
        // (frames) the pictures and the names will carry; -1 when no movie is open.
        std::function<long long()> holdPosition;
        // Brings each open camera's picture to P and returns once each shows
        // the frame of P, ready to be taken; false when one did not show it
        // in time (a picture named after P must show P).
        std::function<bool(long long position)> presentAt;
        // The session's SaveStills: front then rear; 1 when every camera
        // asked for and open produced its file.
        std::function<int(const std::string& front, const std::string& rear)> saveStills;
        // Gives the windows and streams back their state after the pictures.
        std::function<void()> restore;
    };

    enum class Result { Saved, Failed, Cancelled, Busy };

    CStillCapture(CFileOps& ops, Host host) : ops_(ops), host_(std::move(host)) {}

    // Runs the command once: folder prompt ("SNAPSHOT_FOLDER",
    // "バックアップフォルダーを選択してください。"), the names, the question
    // "同名のファイルが存在します。続行しますか？" when either picture's name is
    // taken, the pictures, then "完了しました。"/"終了" or
    // "画像の保存に失敗しました。"/"ERROR"; a cancel shows nothing. The
    // completion names the folder and the pictures and offers to open the
    // folder (CFileOps::ShowCompleted). Busy while a
    // run is already in progress (a message box's loop lets commands through).
    Result Run(RecorderFamily family);

    // Whether a run is in progress (its controls are held).
    bool Running() const { return running_; }
    // The names of the last run (empty before one).
    const std::string& FrontPath() const { return front_; }
    const std::string& RearPath() const { return rear_; }

private:
    Result Steps(RecorderFamily family);

    CFileOps& ops_;
    Host host_;
    bool running_ = false; // UI thread
    std::string front_, rear_;
    std::string folder_; // the folder of the last run's saved pictures
};

} // namespace kinetta
