#pragma once
// CFileOps: the main window's file operations, one flow at a time. A flow is
// started by a toolbar command: playback stops and the movies close, the flow
// asks what it needs on the UI thread (output folder, the file-selection
// dialog, Yes/No questions), then its work runs on a worker thread as a
// JobControl. The worker posts UM_PROGRESS (wParam done, lParam total) to the
// main window while it works and ends with UM_FILEOP_DONE, or
// UM_FILEOP_RELOAD after deleting; the window hands those messages to
// HandleMessage, which joins the worker, shows a failure once with the
// caption "ERROR" or "完了しました。" with the caption "終了", hides the
// progress window and gives the window back its normal state.
//
// The progress window is a strip at the bottom of the main window: the
// percentage bar (control 38102, done x 100 / total percent, 100 when total is
// 0 or less) and a "キャンセル" button that clears the job's running flag; the
// work then stops between two files (a join or a copy also within a file)
// and leaves nothing half-written.
//
// Threads: every member function runs on the UI thread. The worker talks to
// the window only through the JobControl (posted messages, the running flag,
// the outcome it leaves).

#include <QRect>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/job_control.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/file_selection.h"
#include "kinetta/skin/command_target.h"
#include "playcore/convert/convert_job.h"

namespace kinetta {

class CSkinButton;
class CSkinProgressBarCtrl;

// What the file-selection dialog is opened with.
struct FileSelectRequest {
    FileSelectMode mode = FileSelectMode::Save;
    std::vector<RecordingEntry> current; // the rows of the main list
    std::vector<RecordingEntry> all;     // every recording of the source
    int focusRow = 0;                    // the selected row's group anchors the dialog
    int titleId =
        -1; // the dialog's title text; -1: the mode's own ("削除", "動画保存（分割）", "連結")
};

// What it hands back after OK: the ticked rows in row order and the switches.
struct FileSelectAnswer {
    std::vector<RecordingEntry> entries;
    bool front = true, rear = true, upload = false;
};

// The user's side of a flow. Each member has a default that shows the real
// window; tests put in answers instead, so that no test waits for a user.
struct FileOpAnswerer {
    // Folder prompt titled title, starting in start. nullopt: cancelled. An
    // empty path: the chosen item has no file-system path.
    std::function<std::optional<std::string>(const QString& title, const std::string& start)>
        folder;
    // The program's message box (CMsgBox types and results).
    std::function<int(const QString& text, const QString& caption, int type)> messageBox;
    // The file-selection dialog; nullopt when it was cancelled.
    std::function<std::optional<FileSelectAnswer>(const FileSelectRequest&)> fileSelect;
    // Opens a folder (a file URL) in the desktop's file manager;
    // QDesktopServices::openUrl by default.
    std::function<void(const QUrl& folder)> openFolder;
};

// The progress window: the bar and its cancel button.
class CFileOpProgressWnd : public QWidget, public CommandTarget {
public:
    static constexpr int kIdCancel = 2;

    // Takes bar (the main window's control 38102) as its child.
    CFileOpProgressWnd(QWidget* parent, CSkinProgressBarCtrl* bar, std::function<void()> cancel);

    // done x 100 / total percent (100 when total <= 0); comes to the top.
    void ShowProgress(int done, int total);
    void Place(const QRect& rect);
    void OnCommand(int id) override;

    CSkinProgressBarCtrl* Bar() const { return bar_; }
    CSkinButton* CancelButton() const { return cancel_; }

private:
    CSkinProgressBarCtrl* bar_;
    CSkinButton* cancel_ = nullptr;
    std::function<void()> onCancel_;
};

class CFileOps {
public:
    // What the main window does for the flows.
    struct Host {
        // Stop playback and close the open movies, so that no source file is
        // open while a flow reads or removes it.
        std::function<void()> stopAndClose;
        // UM_FILEOP_RELOAD: rebuild the recording list and select row 0.
        std::function<void()> reloadList;
        // A flow started (true) or ended (false): the window disables or
        // restores its toolbar and list, and after the end of a flow that
        // closed the movies (stopAndClose) opens the recording again where
        // it was.
        std::function<void(bool running)> flowRunning;
        // Sets the processed mark of these entries in the window's lists.
        std::function<void(const std::vector<RecordingEntry>&)> markProcessed;
        // The rows of the main list, the whole source and the selected row,
        // for the file-selection dialog.
        std::function<FileSelectRequest(FileSelectMode)> selectionRequest;
        // The source's kind (kSourceCard, kSourceFolder, ...): command 38007
        // joins on a card (or without a source) and converts otherwise.
        std::function<int()> sourceKind;
        // The selected recording, for the upload conversion; nullopt for none.
        std::function<std::optional<RecordingEntry>()> selectedRecording;
        // Whether the picture is shown turned (the conversion follows it).
        std::function<bool()> flipped;
    };

    // window: the main window, which receives the posted messages. bar: its
    // progress bar (control 38102), taken into the progress window.
    CFileOps(QWidget* window, CSkinProgressBarCtrl* bar, Host host, FileOpAnswerer answerer = {});
    // Cancels a running flow and waits for its worker.
    ~CFileOps();
    CFileOps(const CFileOps&) = delete;
    CFileOps& operator=(const CFileOps&) = delete;

    // Replaces the answers (members left empty keep the defaults).
    void SetAnswerer(FileOpAnswerer answerer);

    // ---- starting a flow ----
    // The work of a flow, prepared on the UI thread: an empty Work means the
    // user cancelled and the flow ends silently.
    using Prepare = std::function<JobControl::Work()>;
    // What the open recording does while the flow runs.
    enum class Recording {
        kClose, // playback stops and the movies close; they open again at the end
        kKeep,  // the work reads no movie the player holds: it stays open as it is
    };
    // Starts a flow: playback stops and the movies close (unless kept),
    // prepare asks the user, then its work runs on the worker. False when
    // another flow is still running (one at a time) or prepare returned no work.
    bool Run(const Prepare& prepare, Recording recording = Recording::kClose);
    // Whether a flow's worker exists that UM_FILEOP_DONE has not yet ended.
    bool Running() const { return job_.Busy(); }
    // The progress window's cancel: the work stops at its next check.
    void Cancel() { job_.Cancel(); }
    // Closing the viewer: cancel and wait for the worker (it stops between
    // two files, or within a join or a copy), then drop its messages.
    void Shutdown();

    // ---- what a flow asks, on the UI thread ----
    // The folder prompt titled with text titleId, starting in the folder
    // stored under key (section "FOLDERPATH") or in the settings directory.
    // Empty when cancelled, or when the chosen item has no file-system path
    // ("フォルダパスの取得に失敗しました。" with "ERROR" is shown then).
    std::string AskFolder(std::string_view key, int titleId);
    // The question textId with the caption "確認" and "はい"/"いいえ"; true for "はい".
    bool AskYesNo(int textId);
    bool AskYesNo(const QString& text);
    // A message with the caption "ERROR".
    void ShowError(const QString& text);
    // The completion message, caption "終了": "完了しました。", then the
    // outcome's summary, its folder and its files. With a folder it asks
    // "フォルダーを開きますか？" ("はい"/"いいえ"), and "はい" opens the
    // folder in the file manager.
    void ShowCompleted(const JobControl::Outcome& outcome);
    // The completion message's text for outcome.
    static QString CompletionText(const JobControl::Outcome& outcome);
    // The file-selection dialog in mode over the window's rows, titled with
    // text titleId (-1: the mode's own title); nullopt when cancelled.
    std::optional<FileSelectAnswer> SelectFiles(FileSelectMode mode, int titleId = -1);
    void MarkProcessed(const std::vector<RecordingEntry>& entries);

    // ---- the flows of the toolbar (file_flows.cpp) ----
    // Save (38008): folder, file-selection dialog in save mode, questions for
    // existing outputs, then separations and copies.
    bool Save();
    // Delete (38015): file-selection dialog in delete mode, the question that
    // names how many recordings go to the card's delete folder or to the
    // trash ("いいえ" removes nothing), then the removal by the delete
    // convention; the list is rebuilt afterwards.
    bool Delete();
    // Command 38007: Join() on a card or without a source, else ConvertCurrent().
    bool JoinOrConvert();
    // Join: folder, file-selection dialog in join mode (consecutive rows),
    // questions for existing outputs, the conversion dialog when "アップロード
    // 変換" is on, then the box-level join per camera.
    bool Join();
    // Upload conversion of the selected recording into "YM01_" + its front
    // file name in the chosen folder.
    bool ConvertCurrent();

    // The conversion dialog (Part of the answers a test replaces): 0 confirmed
    // with the settings filled in, 2 cancelled.
    using ConvertPrompt =
        std::function<int(const std::string& source, int totalFrames, float frameRate, bool flip,
                          playcore::ConvertSettings* settings)>;
    void SetConvertPrompt(ConvertPrompt prompt) { convertPrompt_ = std::move(prompt); }

    // The window's message map for UM_PROGRESS, UM_FILEOP_DONE and
    // UM_FILEOP_RELOAD; false for any other message.
    bool HandleMessage(int message, std::uintptr_t wParam, std::intptr_t lParam);

    // The progress window's place: the window's progress-bar rectangle.
    void Place(const QRect& rect);

    JobControl& Job() { return job_; }
    CFileOpProgressWnd* ProgressWindow() const { return progress_; }
    // Flows ended so far with "完了しました。" (for tests and figures).
    int CompletedFlows() const { return completedFlows_; }

private:
    void Ended(bool reload);
    // The checks before anything is written: an output of 4 GiB or more, an
    // output of largestOutput bytes that folder's file system cannot hold
    // (FAT32), and the free space of folder for bytes. False after showing why.
    bool CheckOutputs(const std::string& folder, uint64_t bytes, bool tooLarge,
                      uint64_t largestOutput);

    // Asks for the conversion settings of source; false when cancelled.
    bool AskConvertSettings(const std::string& source, playcore::ConvertSettings* settings);

    QWidget* window_;
    Host host_;
    ConvertPrompt convertPrompt_; // empty: the conversion dialog
    FileOpAnswerer answerer_;
    FileOpAnswerer defaults_;
    CFileOpProgressWnd* progress_ = nullptr; // child of window_
    int completedFlows_ = 0;                 // UI thread
    bool shutDown_ = false;                  // UI thread
    // Last member: destroyed (cancelled and joined) before the rest.
    JobControl job_;
};

} // namespace kinetta
