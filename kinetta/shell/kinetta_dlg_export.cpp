// The main window's side of the CSV export (command 38017, a file-operation
// flow over the list's rows) and of the still pictures (command 38006, on
// this thread): what the window holds, pauses, shows and restores for them.

#include <QEventLoop>
#include <QTimer>

#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/fileops/export_flows.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {

namespace {
// How long a camera brought to a position is given to present its picture
// before the pictures are taken (the UI thread keeps handling events).
constexpr int kPresentWaitMs = 1000;
} // namespace

void CkinettaDlg::CreateExports() {
    CStillCapture::Host host;
    host.holdControls = [this](bool disabled) {
        controlsDisabled_ = disabled;
        position_->setEnabled(!disabled);
        volumeSlider_->setEnabled(!disabled);
        UpdateToolbar(); // the list follows StillRunning()
        if (!disabled) update();
    };
    host.recording = [this]() -> std::optional<RecordingEntry> {
        std::lock_guard lock(stateLock_);
        if (rows_.empty()) return std::nullopt;
        const size_t row = selected_ >= 0 && selected_ < static_cast<int>(rows_.size())
                               ? static_cast<size_t>(selected_)
                               : 0;
        return rows_[row];
    };
    host.holdPosition = [this]() -> long long {
        if (!loaded_) return -1;
        if (playback_.GetState(MasterCamera()) == kEnginePlaying) {
            KillTimer(kTimerFadeIn);
            playback_.Pause(cameraSelection_);
            ShowPlayFace(false);
        }
        const long long p = playback_.GetPosition(MasterCamera());
        UpdatePositionDisplay(std::max(0LL, p));
        return p;
    };
    host.presentAt = [this](long long position) {
        // Both cameras are brought to the position exactly (a scrub shows
        // exactly the frame of that position): a movie paused from playing
        // may show the frame before the position it reports. The camera not
        // shown is started once if it never ran, with its stream on.
        const int other = 1 - shownCamera_;
        if (combined_ || playback_.Opened(other)) {
            playback_.EnableStream(other, true);
            if (!combined_ && playback_.GetState(other) == kEngineStopped) {
                playback_.Play(other);
                playback_.Pause(other);
            }
            if (!combined_) playback_.SeekFrameForward(other, position);
        }
        playback_.SeekFrameForward(shownCamera_, position);
        QEventLoop wait;
        QTimer::singleShot(kPresentWaitMs, &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    };
    host.saveStills = [this](const std::string& front, const std::string& rear) {
        return playback_.SaveStills(front, rear);
    };
    host.restore = [this] {
        // A combined file shows one stream at a time in this window.
        if (combined_) playback_.EnableStream(1 - shownCamera_, false);
        playback_.Redraw(shownCamera_);
    };
    host.message = [this](const QString& text, const QString& caption) {
        ShowMessage(text, caption);
    };
    still_ = std::make_unique<CStillCapture>(*fileOps_, std::move(host));
}

bool CkinettaDlg::StillRunning() const {
    return still_ && still_->Running();
}

void CkinettaDlg::OnCsvExport() {
    fileOps_->Run([this]() -> JobControl::Work {
        std::vector<RecordingEntry> rows;
        {
            std::lock_guard lock(stateLock_);
            rows = rows_;
        }
        return PrepareCsvExport(*fileOps_, std::move(rows), CurrentFamily());
    });
}

void CkinettaDlg::OnStillPicture() {
    if (!loaded_ || FileOpRunning()) return;
    still_->Run(CurrentFamily());
}

} // namespace kinetta
