#include "kinetta/shell/playback_control.h"

#include <QApplication>
#include <QLabel>
#include <QStyleHints>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/movie_area_pointer.h"
#include "kinetta/shell/movie_static.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/shell/viewer_state.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {

using playcore::kEngineClosed;
using playcore::kEnginePaused;
using playcore::kEnginePlaying;
using playcore::kEngineStopped;

namespace {
// The area's no-data text (movie_area_pointer.h), as a QString.
QString NoDataQText(int area) {
    const std::string_view s = NoDataText(area);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

PlaybackControl::PlaybackControl(playcore::PlaybackSession& session, ViewerState* state)
    : session_(session), state_(state) {
    position_.setInterval(100);
    fadeIn_.setInterval(10);
    speed_.setSingleShot(true);
    // A timer that fires after shutdown began does nothing.
    auto live = [this] { return state_ && !state_->shutDown_; };
    connect(&position_, &QTimer::timeout, this, [this, live] {
        if (live()) OnPositionTimer();
    });
    connect(&fadeIn_, &QTimer::timeout, this, [this, live] {
        if (live() && !FadeInStep(state_->cameraSelection_)) fadeIn_.stop();
    });
    connect(&speed_, &QTimer::timeout, this, [this, live] {
        if (live()) ApplySpeedChange();
    });
}

PlaybackControl::~PlaybackControl() = default;

void PlaybackControl::SetWindow(Widgets widgets, Host host) {
    widgets_ = widgets;
    host_ = std::move(host);
}

// ---- volume and fades -------------------------------------------------------------

void PlaybackControl::LoadVolume(const std::string& stored) {
    volume_ = stored.empty() ? 65535 : std::clamp(std::atoi(stored.c_str()), 0, 65535);
    if (stored == std::to_string(volume_)) storedVolume_ = volume_; // nothing to write back
}

void PlaybackControl::SetVolume(int cam, int volume, bool store) {
    volume_ = std::clamp(volume, 0, 65535);
    if (store && volume_ != storedVolume_ &&
        Settings().Write("DISPLAY", "VOLUME", std::to_string(volume_)))
        storedVolume_ = volume_;
    session_.SetVolume(cam, volume_);
}

void PlaybackControl::ChangeVolume(int volume, bool store) {
    SetVolume(state_->cameraSelection_, volume, store);
    widgets_.volume->SetPos(volume_);
}

bool PlaybackControl::FadeInStep(int cam) {
    fadeLevel_ = FadeInLevel(fadeLevel_, volume_);
    session_.SetVolume(cam, fadeLevel_);
    return fadeLevel_ < volume_;
}

void PlaybackControl::FadeOut(int cam) {
    for (int level = fadeLevel_ > 0 ? std::min(fadeLevel_, volume_) : volume_; level > 0;
         level -= kFadeOutStep) {
        session_.SetVolume(cam, level);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fadeLevel_ = 0;
    session_.SetVolume(cam, 0);
}

void PlaybackControl::FadeOutNow() {
    // Synchronous: 4000 lower every 10 ms, then silence.
    fadeIn_.stop();
    FadeOut(state_->cameraSelection_);
}

void PlaybackControl::StartFadeIn() {
    RestartFadeIn();
    fadeIn_.start();
}

// ---- the near end -------------------------------------------------------------------

bool PlaybackControl::CheckNearEnd(bool loaded, int masterCam, int speedEngine, int volumeCam) {
    if (nearEnd_) return true;
    if (!loaded || session_.GetState(masterCam) != kEnginePlaying) return false;
    const long long length = session_.GetLength(masterCam);
    const long long position = session_.GetPosition(masterCam);
    const int margin =
        SeekMargin(session_.CurrentSpeedStep(speedEngine), session_.GetFrameDuration(masterCam));
    if (length <= 0 || position + margin < length) return false;
    FadeOut(volumeCam);
    nearEnd_ = true;
    return true;
}

bool PlaybackControl::IsNearEnd() {
    const bool was = nearEnd_;
    const bool near =
        CheckNearEnd(state_->loaded_, MasterCamera(), SpeedEngine(), state_->cameraSelection_);
    if (near && !was) fadeIn_.stop(); // faded out
    return near;
}

// ---- engines --------------------------------------------------------------------------

int PlaybackControl::MasterCamera() const {
    return state_->cameraSelection_;
}

int PlaybackControl::SpeedEngine() const {
    if (state_->combined_) return 0;
    if (state_->cameraSelection_ == kCameraBoth) return session_.Master();
    return state_->cameraSelection_;
}

void PlaybackControl::ResetSpeedToDefault() {
    if (const RecordingEntry* e = state_->SelectedEntry())
        session_.SetSpeed(DefaultSpeedStep(*e, CurrentFamily()));
}

void PlaybackControl::ShowSpeedText() {
    const bool ready = session_.IsReady(0) || session_.IsReady(1);
    const std::string text =
        ready ? SpeedText(session_.CurrentSpeedStep(SpeedEngine())) : std::string();
    widgets_.speedText->setText(QString::fromStdString(text));
    emit state_->SpeedShown(widgets_.speedText->text());
}

// ---- commands ---------------------------------------------------------------------------

bool PlaybackControl::OnCommand(int id) {
    switch (id) {
    case kCmdToStart:
        OnToStart();
        return true;
    case kCmdPrevious:
        OnPrevious();
        return true;
    case kCmdPlayPause:
        OnPlayPause();
        return true;
    case kCmdSlow:
    case kCmdFastForward:
        // Clicks within half the double-click time collapse into one change.
        speedFaster_ = id == kCmdFastForward;
        speed_.start(QApplication::styleHints()->mouseDoubleClickInterval() / 2);
        return true;
    case kCmdNext:
        OnNext(false);
        return true;
    case kCmdCameraSwitch:
        OnCameraSwitch();
        return true;
    default:
        return false;
    }
}

void PlaybackControl::OnToStart() {
    const RecordingEntry* e = state_->SelectedEntry();
    if (!e || !state_->loaded_) return;
    const int def = DefaultSpeedStep(*e, CurrentFamily());
    if (session_.CurrentSpeedStep(SpeedEngine()) != def) session_.SetSpeed(def);
    ApplyVolume();
    const int cam = state_->cameraSelection_;
    const int state = session_.GetState(MasterCamera());
    if (state == kEnginePlaying) session_.Stop(cam);
    SeekTo(cam, 0, state == kEnginePlaying ? kEngineStopped : state);
    if (state == kEnginePlaying) StartPlayback();
    ShowSpeedText();
    host_.updateToolbar();
}

void PlaybackControl::OnPrevious() {
    const int cam = state_->cameraSelection_;
    session_.Pause(cam);
    StopPlayback();
    const int row = ChoosePrevious(state_->SelectedIndex(), static_cast<int>(state_->rows_.size()));
    if (row >= 0) {
        host_.selectRow(row, kOpenByPrevious, true);
        return;
    }
    // At the first entry: back to its start.
    ResetSpeedToDefault();
    StopPlayback();
    session_.SeekFrameForward(cam, 0);
    ShowViewsAt(0);
    UpdatePositionDisplay(0);
    ShowSpeedText();
    host_.updateToolbar();
}

void PlaybackControl::OnNext(bool forMovieEnd) {
    const RecordingEntry* e = state_->SelectedEntry();
    const int cam = state_->cameraSelection_;
    if (!forMovieEnd) {
        session_.Pause(cam);
        StopPlayback();
        if (e) rememberedSpeed_ = DefaultSpeedStep(*e, CurrentFamily());
    }
    const NextChoice next =
        ChooseNext(state_->SelectedIndex(), static_cast<int>(state_->rows_.size()),
                   host_.nextFolderItem() >= 0);
    switch (next.move) {
    case NextMove::SelectRow:
        host_.selectRow(next.row, kOpenByNext, true);
        return;
    case NextMove::IntoNextFolder:
        // The folder's list has ended: the next folder's first recording
        // follows, at the end of the movie or at once when asked for.
        session_.Pause(cam);
        ApplyVolume();
        ShowSpeedText();
        continueIntoNextFolder_ = true;
        if (!forMovieEnd) {
            StopPlayback();
            continueIntoNextFolder_ = false;
            host_.showFolder(host_.nextFolderItem(), true);
        }
        return;
    case NextMove::FinishAtLastRow:
        if (e) session_.SetSpeed(DefaultSpeedStep(*e, CurrentFamily()));
        finished_ = true;
        continueIntoNextFolder_ = true;
        host_.selectRow(next.row, kOpenBySelection, false);
        finished_ = true;
        return;
    case NextMove::Nothing:
        return;
    }
}

void PlaybackControl::OnPlayPause() {
    if (!state_->loaded_) return;
    const int cam = state_->cameraSelection_;
    if (session_.GetState(MasterCamera()) == kEnginePlaying) {
        if (const RecordingEntry* e = state_->SelectedEntry()) {
            const int def = DefaultSpeedStep(*e, CurrentFamily());
            if (session_.CurrentSpeedStep(SpeedEngine()) != def) {
                session_.SetSpeed(def);
                QThread::msleep(100);
            }
        }
        session_.Pause(cam);
        emit state_->PlaybackStateChanged(kEnginePaused);
        continuous_ = false;
        host_.showPlayFace(false);
        ShowSpeedText();
    } else {
        FadeOutNow();
        if (const RecordingEntry* e = state_->SelectedEntry())
            rememberedSpeed_ = DefaultSpeedStep(*e, CurrentFamily());
        const bool started = StartPlayback();
        if (!started) playAfterLoad_ = true;
        continuous_ = started;
        ShowSpeedText();
        host_.showPlayFace(started);
    }
    host_.updateToolbar();
}

void PlaybackControl::ApplySpeedChange() {
    if (IsNearEnd()) return;
    const int engine = SpeedEngine();
    const int current = session_.CurrentSpeedStep(engine);
    const int next = session_.NextSpeedStep(engine, speedFaster_);
    if (next != current) {
        session_.SetSpeed(next);
        const long long position = session_.GetPosition(MasterCamera());
        if (state_->combined_) session_.EnableStream(state_->shownCamera_, true);
        session_.RestartAt(state_->cameraSelection_, position);
    }
    host_.updateToolbar();
    ShowSpeedText();
}

void PlaybackControl::OnCameraSwitch() {
    if (kBuildMode == OperatingMode::Full) return;
    const bool combined = state_->combined_;
    const int from = state_->shownCamera_;
    const int to = 1 - from;
    if (!combined && !session_.Opened(to)) return;
    long long p = session_.GetPosition(from);
    const int step = session_.CurrentSpeedStep(SpeedEngine());
    const long long targetLength = session_.GetLength(to);
    const int margin = SeekMargin(step, session_.GetFrameDuration(to));
    p = std::max(0LL, std::min(p, targetLength - 2LL * margin));
    const int state = session_.GetState(from);
    if (state == kEnginePlaying) {
        session_.EnableStream(from, false);
        if (!combined) session_.Pause(from);
    }
    state_->shownCamera_ = to;
    state_->cameraSelection_ = to;
    host_.placeMovieAreas();
    switch (state) {
    case kEngineStopped:
        session_.EnableStream(to, true);
        session_.Play(to);
        session_.Stop(to);
        SeekTo(to, 0, kEngineStopped);
        break;
    case kEnginePlaying:
        session_.EnableStream(to, true);
        if (!combined) {
            session_.Play(to);
            SeekTo(to, p, kEnginePlaying);
        }
        break;
    case kEnginePaused:
        // The other camera shows its frame at the same place after about a second.
        session_.EnableStream(to, true);
        session_.Play(to);
        QThread::msleep(500);
        session_.Pause(to);
        QThread::msleep(500);
        SeekTo(to, p, kEnginePaused);
        break;
    default:
        break;
    }
    ApplyVolume();
    host_.updateToolbar();
}

// ---- the sliders ------------------------------------------------------------------------

long long PlaybackControl::SlideLimit() const {
    const int step = session_.CurrentSpeedStep(SpeedEngine());
    const int margin = SeekMargin(step, session_.GetFrameDuration(MasterCamera()));
    return std::max(0LL, masterLength_ - 2LL * margin);
}

void PlaybackControl::OnSliderMessage(int message, int control, long long value) {
    if (control == 38101) {
        // The engines follow the drag; the settings file takes the value once
        // it settles, at the release.
        if (message != UM_SLIDER_BEGIN)
            ChangeVolume(static_cast<int>(std::clamp(value, 0LL, 65535LL)),
                         message == UM_SLIDER_END);
        return;
    }
    if (control != 38100 || !state_->loaded_) return;
    const int cam = state_->cameraSelection_;
    const long long limit = SlideLimit();
    switch (message) {
    case UM_SLIDER_TRACK:
        widgets_.position->SetPos(static_cast<int>(value));
        ShowViewsAt(std::min(value, limit));
        break;
    case UM_SLIDER_BEGIN:
        // The release seeks in the state the engine had before the press.
        FadeOutNow();
        sliderState_ = session_.GetState(MasterCamera());
        if (sliderState_ != kEnginePaused) session_.Pause(cam);
        if (!widgets_.position->PressHitThumb()) SeekTo(cam, value, kEnginePaused);
        break;
    case UM_SLIDER_END: {
        const int state = sliderState_ >= 0 ? sliderState_ : session_.GetState(MasterCamera());
        sliderState_ = -1;
        SeekTo(cam, std::min(value, limit), state);
        host_.showPlayFace(session_.GetState(MasterCamera()) == kEnginePlaying);
        break;
    }
    default:
        break;
    }
}

void PlaybackControl::SeekFromSlider(long long frame) {
    if (!state_->loaded_) return;
    SeekTo(state_->cameraSelection_, std::min(frame, SlideLimit()),
           session_.GetState(MasterCamera()));
}

void PlaybackControl::SeekInPlace(long long frame) {
    if (!state_->loaded_) return;
    SeekTo(state_->cameraSelection_, frame, session_.GetState(MasterCamera()));
}

// ---- seeking and the position -------------------------------------------------------------

void PlaybackControl::SeekTo(int cam, long long frame, int state) {
    const int step = session_.CurrentSpeedStep(SpeedEngine());
    const long long last = session_.GetLength(MasterCamera());
    const long long limit =
        SeekLimit(static_cast<int>(std::min<long long>(frame, INT32_MAX)),
                  static_cast<int>(std::min<long long>(sliderLast_, INT32_MAX)), step);
    const int margin = SeekMargin(step, session_.GetFrameDuration(cam));
    const long long target = std::min(last - 2LL * margin, limit);
    if (state == kEngineStopped || state == kEnginePaused) {
        if (target >= 0) session_.SeekFrameForward(cam, target);
        ShowViewsAt(frame);
        for (int k = 0; k < 2; ++k) {
            CMovieStatic* a = widgets_.areas[static_cast<size_t>(k)];
            if (!a->NoData() && a->isVisible()) session_.Redraw(k);
        }
        host_.updateToolbar();
        emit state_->StillFrameSettled();
    } else if (state == kEnginePlaying) {
        session_.Pause(cam);
        session_.SeekFrame(cam, std::max(0LL, target));
        ShowViewsAt(frame);
        session_.Play(cam);
        StartFadeIn();
    }
    QThread::msleep(100);
    UpdatePositionDisplay(std::max<long long>(0, session_.GetPosition(MasterCamera())));
}

long long PlaybackControl::Position() const {
    const long long p = static_cast<long long>(session_.GetPosition(MasterCamera()));
    return std::clamp(p, 0LL, std::max(0LL, sliderLast_));
}

void PlaybackControl::ShowViewsAt(long long frame) {
    state_->ShowFrame(std::clamp(frame, 0LL, std::max(0LL, sliderLast_)));
}

void PlaybackControl::OnPositionTimer() {
    emit state_->PositionTick();
    const int state = session_.GetState(MasterCamera());
    if (state != kEnginePlaying) return;
    if (IsNearEnd()) {
        if (!controlsDisabled_) {
            controlsDisabled_ = true;
            widgets_.position->setEnabled(false);
            host_.updateToolbar();
        }
    } else if (controlsDisabled_) {
        controlsDisabled_ = false;
        widgets_.position->setEnabled(true);
        host_.updateToolbar();
    }
    const long long p = session_.GetPosition(MasterCamera());
    if (p > 0) {
        UpdatePositionDisplay(p);
        const long long length = session_.GetLength(MasterCamera());
        if (markerFrame_ == -1 || std::llabs(p - markerFrame_) <= length / 1000 + 100) {
            ShowViewsAt(p);
            markerFrame_ = -1;
        }
    }
    host_.showPlayFace(session_.GetState(MasterCamera()) == kEnginePlaying);
}

void PlaybackControl::UpdatePositionDisplay(long long position) {
    if (!widgets_.position->Dragging()) widgets_.position->SetPos(static_cast<int>(position));
    widgets_.timeText->setText(QString::fromStdString(
        PositionText(position, sliderLast_, session_.GetFrameDuration(MasterCamera()))));
    const RecordingEntry* e = state_->SelectedEntry();
    if (!e || !state_->pair_) return;
    const int ended =
        EndedShorterCamera(e->frontFrames, e->rearFrames, PairEndTolerance(*e), position);
    if (ended >= 0 && !widgets_.areas[static_cast<size_t>(ended)]->NoData()) {
        widgets_.areas[static_cast<size_t>(ended)]->SetNoData(NoDataQText(ended));
        pairEndShownAt_[static_cast<size_t>(ended)] = position;
    }
}

void PlaybackControl::ShowNoDataTexts() {
    for (int k = 0; k < 2; ++k) {
        const bool has = state_->combined_ || session_.Opened(k);
        widgets_.areas[static_cast<size_t>(k)]->SetNoData(has ? QString() : NoDataQText(k));
        pairEndShownAt_[static_cast<size_t>(k)] = -1;
    }
}

// ---- starting, stopping, loading, the end ---------------------------------------------

bool PlaybackControl::StartPlayback() {
    const int state = session_.GetState(MasterCamera());
    if (state == kEngineClosed) return false;
    if (state == kEnginePlaying) return true;
    const int cam = state_->cameraSelection_;
    if (!session_.Play(cam)) return false;
    RestartFadeIn();
    session_.SetVolume(cam, 0);
    fadeIn_.start();
    emit state_->PlaybackStateChanged(kEnginePlaying);
    return true;
}

void PlaybackControl::StopPlayback() {
    const int state = session_.GetState(MasterCamera());
    if (state != kEnginePlaying && state != kEnginePaused) return;
    {
        std::lock_guard lock(state_->lock_);
        session_.Stop(state_->cameraSelection_);
    }
    host_.showPlayFace(false);
    emit state_->PlaybackStateChanged(kEngineStopped);
    if (const RecordingEntry* e = state_->SelectedEntry())
        rememberedSpeed_ = DefaultSpeedStep(*e, CurrentFamily());
}

bool PlaybackControl::LoadTelemetry(const RecordingEntry& e) {
    if (!session_.LoadTelemetry(e.frontPath, e.rearPath)) return false;
    const int def = DefaultSpeedStep(e, CurrentFamily());
    const int current = session_.CurrentSpeedStep(SpeedEngine());
    const int chosen = ChooseStartSpeed(def, current, rememberedSpeed_);
    if (chosen != current) session_.SetSpeed(chosen);
    rememberedSpeed_ = chosen;
    return true;
}

void PlaybackControl::Prepare() {
    session_.SetVolume(state_->cameraSelection_, 0); // the fade-in raises it
    sliderLast_ = session_.GetLength(MasterCamera());
    widgets_.position->SetRange(0, static_cast<int>(std::min<long long>(sliderLast_, INT32_MAX)));
    ShowSpeedText();
    masterLength_ = session_.GetMasterLength();
    emit state_->RecordingPrepared();
    ShowViewsAt(0);
    emit state_->StillFrameSettled();
    UpdatePositionDisplay(std::max<long long>(0, session_.GetPosition(MasterCamera())));
    markerFrame_ = -1;
    position_.start();
}

void PlaybackControl::Close() {
    position_.stop();
    fadeIn_.stop();
    nearEnd_ = false;
    playAfterLoad_ = false;
    markerFrame_ = -1;
    endedCount_ = 0;
    if (controlsDisabled_) {
        controlsDisabled_ = false;
        widgets_.position->setEnabled(true);
    }
}

void PlaybackControl::StopTimers() {
    position_.stop();
    fadeIn_.stop();
    speed_.stop();
}

bool PlaybackControl::TakePlayAfterLoad() {
    const bool on = playAfterLoad_;
    playAfterLoad_ = false;
    return on;
}

void PlaybackControl::HoldControls(bool held) {
    controlsDisabled_ = held;
    widgets_.position->setEnabled(!held);
    widgets_.volume->setEnabled(!held);
    host_.updateToolbar(); // the list follows the features' holds
}

long long PlaybackControl::HoldPosition() {
    if (!state_->loaded_) return -1;
    if (session_.GetState(MasterCamera()) == kEnginePlaying) {
        fadeIn_.stop();
        session_.Pause(state_->cameraSelection_);
        host_.showPlayFace(false);
    }
    const long long p = session_.GetPosition(MasterCamera());
    UpdatePositionDisplay(std::max(0LL, p));
    return p;
}

void PlaybackControl::MovieEnded(int camera) {
    if (finished_ || state_->shutDown_ || !state_->loaded_) return;
    ++endedCount_;
    const bool two = state_->pair_ && session_.Opened(0) && session_.Opened(1);
    const double frontMs =
        static_cast<double>(session_.GetLength(0)) * session_.GetFrameDuration(0);
    const double rearMs = static_cast<double>(session_.GetLength(1)) * session_.GetFrameDuration(1);
    if (!EndCompletes(kBuildMode, two, endedCount_, camera, frontMs, rearMs)) return;
    endedCount_ = 0;
    const int cam = state_->cameraSelection_;
    OnNext(true);
    if (!continueIntoNextFolder_) return;
    const int item = host_.nextFolderItem();
    if (item >= 0) {
        continueIntoNextFolder_ = false;
        host_.showFolder(item, true);
        return;
    }
    // The last folder has ended: back to its start, paused.
    continueIntoNextFolder_ = false;
    nearEnd_ = false;
    SeekTo(cam, 0, kEnginePaused);
    for (CMovieStatic* a : widgets_.areas)
        a->update();
    emit state_->PlaybackFinished();
}

} // namespace kinetta
