#pragma once
// CConvertDlg: "表示マスク領域の選択", the conversion dialog. It shows the
// recording converted as it will be written (a preview thread runs the
// conversion without writing, over and over, until the dialog closes), lets
// the user draw mask rectangles on it, and returns the masks and the choice
// of "音声の除去". A combined recording is split first (under the wait
// dialog) into "_temp_out_M.mp4" and "_temp_out_R.mp4" in the settings
// directory; the preview plays the front file, and both are removed when
// the preview thread ends. Below the preview it names the H.264 encoder the
// conversion will use (the setting "CONVERT" / "ENCODER"); when the setting
// names one this computer cannot open, it says so and the confirm button is
// disabled, so nothing is converted.
//
// Threads: the dialog and the preview control live on the UI thread; the
// preview thread runs CMovieCapture and hands each picture to the control
// (PreviewTarget, under its own lock), and the control's mouse edits go to
// the shared MaskEditor, which takes its lock for every edit.

#include <QImage>
#include <QWidget>

class QLabel;

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kinetta/convert/convert_dlg_entry.h"
#include "kinetta/skin/skin_dialog.h"
#include "playcore/convert/movie_capture.h"

namespace kinetta {

class CSkinButton;
class CSkinCheckButton;

// Control ids of the dialog.
inline constexpr int kConvertUndoButton = 35;      // "一つ戻る"
inline constexpr int kConvertDeleteAllButton = 34; // "全て削除"
inline constexpr int kConvertRemoveAudioCheck = 34469;

// The preview control: shows the latest converted picture scaled to its
// size and turns mouse drags into mask actions 1 to 3.
class CConvertMovieStatic : public QWidget, public playcore::CaptureTarget {
public:
    CConvertMovieStatic(playcore::MaskEditor* masks, QWidget* parent);

    // UI thread: the size the preview thread draws at (the control's size).
    void SetDrawSize(QSize size);
    // Preview thread.
    void TargetSize(int* width, int* height) override;
    void Present(const uint8_t* bgra, int width, int height, int stride) override;

    // Pictures shown so far (any thread), and the latest one (UI thread).
    int PicturesPresented() const { return presented_.load(); }
    QImage LatestPicture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    playcore::MaskEditor* masks_; // the dialog's; outlives the control
    bool drawing_ = false;        // UI thread: the left button is held
    std::atomic<int> drawWidth_{1000};
    std::atomic<int> drawHeight_{500};
    std::atomic<int> presented_{0};
    mutable std::mutex pictureLock_;
    QImage picture_; // guarded by pictureLock_: written by the preview thread
};

class CConvertDlg : public CSkinDialog {
public:
    CConvertDlg(QWidget* owner, const ConvertDialogInput& input);
    ~CConvertDlg() override;

    // Lays out, splits a combined recording under the wait dialog, starts the
    // preview and runs modally. 0 confirmed, 2 otherwise (also when the
    // preview could not be prepared).
    int Exec();

    // After Exec: the masks and "音声の除去" as the user left them.
    std::vector<playcore::MaskRect> Masks() const { return masks_; }
    bool SilenceAudio() const { return silence_; }

    void OnCommand(int id) override;
    // Every way of closing ends the preview first; exec returns 0 (confirm) or 2.
    void done(int result) override;
    void accept() override;
    void reject() override;

    CConvertMovieStatic* Preview() const { return preview_; }
    CSkinButton* UndoButton() const { return undo_; }
    CSkinButton* DeleteAllButton() const { return deleteAll_; }
    CSkinCheckButton* RemoveAudioCheck() const { return removeAudio_; }
    CSkinButton* ConfirmButton() const { return confirm_; }
    QLabel* EncoderLabel() const { return encoderLabel_; }
    // The file the preview plays and the split files it made (empty: none).
    const std::string& PreviewSource() const { return previewSource_; }
    const std::string& SplitFront() const { return splitFront_; }
    const std::string& SplitRear() const { return splitRear_; }

protected:
    bool event(QEvent* event) override;

private:
    void LayOut();
    bool PrepareSource();
    void PreviewLoop();
    void StopPreview();
    void RefreshMaskState();
    void ShowEncoder();

    const ConvertDialogInput input_;
    playcore::MaskEditor editor_; // the job's mask list; shared with the preview thread
    CConvertMovieStatic* preview_ = nullptr;
    CSkinButton* undo_ = nullptr;
    CSkinButton* deleteAll_ = nullptr;
    CSkinButton* cancel_ = nullptr;
    CSkinButton* confirm_ = nullptr;
    CSkinCheckButton* removeAudio_ = nullptr;
    QLabel* encoderLabel_ = nullptr;
    bool encoderMissing_ = false; // the named encoder cannot be opened: no confirm

    std::string previewSource_; // set before the preview thread starts
    std::string splitFront_;    // likewise; removed by the preview thread at its end
    std::string splitRear_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> running_{true};       // cleared: the running capture stops
    std::thread previewThread_;             // UI thread starts and joins it
    std::vector<playcore::MaskRect> masks_; // UI thread: copied when closing
    bool silence_ = false;                  // UI thread
    bool stopped_ = false;                  // UI thread: StopPreview ran
};

} // namespace kinetta
