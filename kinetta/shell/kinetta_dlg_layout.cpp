// The main window's children, their rectangles at the current size and scale,
// the toolbar and caption buttons, and painting.

#include <QApplication>
#include <QMoveEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QStyleHints>

#include <algorithm>
#include <cmath>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/viewer_keys.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

// Tooltip of each toolbar command, 38000 .. 38018.
constexpr std::array<int, kToolbarCommandCount> kToolbarTips = {kStrToStart,
                                                                kStrPrevious,
                                                                kStrPlay,
                                                                kStrSlow,
                                                                kStrFastForward,
                                                                kStrNext,
                                                                kStrStillPicture,
                                                                kStrJoin,
                                                                kStrSaveSplit,
                                                                kStrEnlarge,
                                                                kStrDisplayModeSwitch,
                                                                kStrFlipPicture,
                                                                kStrMirrorImage,
                                                                kStrMapDisplaySwitch,
                                                                kStrBrowse,
                                                                kStrDelete,
                                                                kStrSettings,
                                                                kStrCsv,
                                                                kStrCameraSwitch};

// The panorama (model 4) is a band of aspect 24:7 (height = width / 3.43)
// centred vertically in the movie rectangle; the window's background shows
// above and below it. Other models fill the rectangle.
QRect PanoramaBand(const QRect& r, int model) {
    if (model != 4) return r;
    const int h = static_cast<int>(r.width() / 3.43);
    if (h <= 0 || h >= r.height()) return r;
    return QRect(r.left(), r.top() + (r.height() - h) / 2, r.width(), h);
}

} // namespace

void CkinettaDlg::CreateChildren() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSkinWindowColor);
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    setPalette(pal);
    setAutoFillBackground(true);

    for (int k = 0; k < 2; ++k)
        areas_[k] = new CMovieStatic(k, &views_, view_, this);
    views_.SetWindow(areas_, {[this](int camera) { MovieReady(camera); }, [this] { LayOut(); },
                              [this] { PlaceMovieAreas(); }, [this] { UpdateToolbar(); },
                              [this](bool playing) { ShowPlayFace(playing); },
                              [this](int command) { return ToolbarButton(command); }});
    filer_ = new CFilerContainerDlg(this);
    filer_->setObjectName("CFilerContainerDlg");
    connect(filer_, &CFilerContainerDlg::RowSelected, this,
            [this](int row) { SelectRecording(row, kOpenBySelection); });
    connect(filer_, &CFilerContainerDlg::FolderSelected, this,
            [this](int item, const QString&) { OnFolderSelect(item); });
    connect(filer_, &CFilerContainerDlg::ListRebuilt, this, [this] { OnListRebuilt(); });
    // A row's right button offers the event clip of that recording (the
    // feature of the UM_CLIP_AT_ROW row).
    connect(filer_, &CFilerContainerDlg::RowMenuRequested, this, [this](int row) {
        PostWindowMessage(this, UM_CLIP_AT_ROW, static_cast<uintptr_t>(row));
    });

    position_ = new CSkinSliderCtrl(
        38100, this,
        {kPicPositionTrackPlayed, kPicPositionTrackRest, kPicPositionThumb, kPicPositionThumbDrag});
    position_->setObjectName("positionSlider");
    position_->SetRange(0, 0);
    volumeSlider_ = new CSkinSliderCtrl(
        38101, this,
        {kPicVolumeTrackLeft, kPicVolumeTrackRight, kPicVolumeThumb, kPicVolumeThumbDrag});
    volumeSlider_->setObjectName("volumeSlider");
    volumeSlider_->SetRange(0, 65535);

    auto makeText = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setTextFormat(Qt::PlainText);
        label->setFont(SharedFont(kFont10));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, kSkinTextColor);
        label->setPalette(p);
        return label;
    };
    speedText_ = makeText("speedText");
    timeText_ = makeText("timeText");
    play_.SetWindow(
        {position_, volumeSlider_, speedText_, timeText_, areas_},
        {[this](bool playing) { ShowPlayFace(playing); }, [this] { UpdateToolbar(); },
         [this] { PlaceMovieAreas(); },
         [this](int row, int reason, bool moveList) { SelectRecording(row, reason, moveList); },
         [this] { return filer_->NextFolderItem(); },
         [this](int item, bool playFirst) { ShowFolder(item, playFirst, true); }});
    CreateKeys();

    const std::array<std::pair<int, int>, 3> captions = {
        std::pair{kCmdMinimise, kPicCaptionMinimise}, std::pair{kCmdMaximise, kPicCaptionMaximise},
        std::pair{kCmdClose, kPicCaptionClose}};
    const std::array<int, 3> tips = {kStrMinimize, kStrEnlarge, kStrClose};
    for (size_t i = 0; i < captions.size(); ++i) {
        auto* b = new CSkinButton(captions[i].second, QRect(0, 0, 26, 18), this, captions[i].first);
        b->setObjectName(QStringLiteral("caption%1").arg(captions[i].first));
        b->setToolTip(Text(tips[i]));
        captionButtons_[captions[i].first] = b;
    }
}

void CkinettaDlg::CreateKeys() {
    // Seeks by keys move within the slider's range, as the slider does.
    auto seekTo = [this](long long frame) {
        play_.SeekInPlace(std::clamp(frame, 0LL, std::max(0LL, play_.SliderLast())));
    };
    auto seekable = [this] {
        return !state_.shutDown_ && state_.Loaded() && !play_.ControlsDisabled() &&
               !play_.IsNearEnd();
    };
    ViewerKeys::Host host;
    host.command = [this](int id) { OnCommand(id); };
    host.seekBy = [this, seekTo, seekable](double seconds) {
        if (!seekable()) return;
        const float frameMs = playback_.GetFrameDuration(play_.MasterCamera());
        if (!(frameMs > 0.0f)) return;
        seekTo(play_.Position() + std::llround(seconds * 1000.0 / frameMs));
    };
    host.step = [this, seekTo, seekable](int frames) {
        if (!seekable()) return;
        if (playback_.GetState(play_.MasterCamera()) == kEnginePlaying) OnCommand(kCmdPlayPause);
        seekTo(play_.Position() + frames);
    };
    host.toEnd = [this, seekTo, seekable] {
        if (seekable()) seekTo(play_.SliderLast());
    };
    host.fullScreen = [this] { return state_.FullScreen(); };
    host.toggleFullScreen = [this] {
        if (!state_.shutDown_) views_.ToggleFullScreen();
    };
    new ViewerKeys(this, std::move(host));
}

void CkinettaDlg::CreateToolbar() {
    for (int i = 0; i < kToolbarCommandCount; ++i) {
        const int command = kFirstToolbarCommand + i;
        auto* b = new CSkinButton(command, QRect(0, 0, 32, 32), this, command);
        b->setObjectName(QStringLiteral("tool%1").arg(command));
        b->setToolTip(ViewerKeys::TipWithKeys(Text(kToolbarTips[static_cast<size_t>(i)]), command));
        b->hide();
        toolbarButtons_[command] = b;
    }
}

CSkinButton* CkinettaDlg::ToolbarButton(int command) const {
    auto it = toolbarButtons_.find(command);
    return it == toolbarButtons_.end() ? nullptr : it->second;
}

CSkinButton* CkinettaDlg::CaptionButton(int command) const {
    auto it = captionButtons_.find(command);
    return it == captionButtons_.end() ? nullptr : it->second;
}

void CkinettaDlg::ShowPlayFace(bool playing) {
    CSkinButton* b = ToolbarButton(kCmdPlayPause);
    if (!b) return;
    const int picture = playing ? kPicPauseButton : kCmdPlayPause;
    if (b->PictureId() != picture) b->SetPicture(picture, b->geometry());
    b->setToolTip(ViewerKeys::TipWithKeys(Text(playing ? kStrPause : kStrPlay), kCmdPlayPause));
}

void CkinettaDlg::LayOut() {
    if (!filer_) return;
    const double s = SkinScale();
    MainLayoutInput in;
    in.clientWidth = width();
    in.clientHeight = height();
    in.s = s;
    in.family = CurrentFamily();
    in.mode = kBuildMode;
    in.panorama = view_.Panorama();
    layout_ = ComputeMainLayout(in);

    PlaceMovieAreas();
    // Full screen: the movie area alone fills the window.
    const bool chrome = !view_.FullScreen();
    for (QWidget* w :
         std::initializer_list<QWidget*>{position_, volumeSlider_, filer_, timeText_, speedText_})
        w->setVisible(chrome);
    for (auto& [command, button] : captionButtons_)
        button->setVisible(chrome);
    views_.PlaceController();
    // The features' windows: the graph and the panel, the map's contents,
    // the settings dialog, the file flows' progress window.
    FeaturePlaces places;
    places.graph = ToQRect(layout_.graph);
    places.infoPanel = ToQRect(layout_.infoPanel);
    places.progressBar = ToQRect(layout_.progressBar);
    places.scale = s;
    places.maximised = isMaximized();
    places.chrome = chrome;
    places.windowTopLeft = geometry().topLeft();
    emit state_.LaidOut(places);
    if (!chrome) {
        for (auto& [command, button] : toolbarButtons_)
            button->hide();
        update();
        return;
    }
    position_->setGeometry(ToQRect(layout_.positionSlider));
    volumeSlider_->setGeometry(ToQRect(layout_.volumeSlider));
    filer_->setGeometry(ToQRect(layout_.listColumn));
    filer_->Rescale();

    // The toolbar: shown buttons at their places, the others hidden.
    for (auto& [command, button] : toolbarButtons_)
        button->hide();
    for (const kinetta::ToolbarButton& t : layout_.toolbar) {
        CSkinButton* b = ToolbarButton(t.command);
        if (!b) continue;
        const int picture = t.command == kCmdPlayPause && b->PictureId() == kPicPauseButton
                                ? kPicPauseButton
                                : t.command;
        b->SetPicture(picture, ToQRect(t.rect));
        b->show();
    }
    captionButtons_[kCmdMinimise]->SetPicture(kPicCaptionMinimise, ToQRect(layout_.minimiseButton));
    captionButtons_[kCmdMaximise]->SetPicture(kPicCaptionMaximise, ToQRect(layout_.maximiseButton));
    captionButtons_[kCmdClose]->SetPicture(kPicCaptionClose, ToQRect(layout_.closeButton));

    // The speed and time texts in the title row, left of the caption buttons.
    const int row = Scaled(s, 28);
    const int textW = Scaled(s, 130);
    const int right = layout_.minimiseButton.left - Scaled(s, 10);
    timeText_->setFont(SharedFont(kFont10));
    speedText_->setFont(SharedFont(kFont10));
    timeText_->setGeometry(right - textW, 0, textW, row);
    speedText_->setGeometry(right - 2 * textW, 0, textW, row);
    update();
}

void CkinettaDlg::PlaceMovieAreas() {
    if (!areas_[0]) return;
    // Single and Light mode: both cameras share the main movie area; the shown
    // camera's area is on top and the other one hidden.
    // Full mode: area 1 lives in the second movie window.
    const QRect r = view_.FullScreen() ? rect() : ToQRect(layout_.movie);
    const int inMain = kBuildMode == OperatingMode::Full ? 1 : 2;
    const int shown = kBuildMode == OperatingMode::Full ? 0 : state_.shownCamera_;
    for (int k = 0; k < inMain; ++k) {
        areas_[k]->setGeometry(PanoramaBand(r, view_.DisplayModel(k)));
        areas_[k]->setVisible(k == shown);
    }
    areas_[shown]->raise();
}

void CkinettaDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kSkinWindowColor);
    const double s = SkinScale();
    // The product's logo and the caption in the title row.
    const int row = Scaled(s, 28);
    const int logo = CurrentFamily() == RecorderFamily::TX50 ? kPicLogoTx50 : kPicLogoTx40;
    const QSize logoSize = LoadedPictureSize(logo, s);
    int x = Scaled(s, 8);
    if (!logoSize.isEmpty()) {
        const int h = std::min(logoSize.height(), row - Scaled(s, 6));
        const int w = logoSize.height() > 0 ? logoSize.width() * h / logoSize.height() : 0;
        DrawSkinPicture(p, logo, QRectF(x, (row - h) / 2, w, h));
        x += w + Scaled(s, 8);
    }
    p.setPen(kSkinTextColor);
    p.setFont(SharedFont(kFont12));
    p.drawText(QRect(x, 0, Scaled(s, 300), row), Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
}

void CkinettaDlg::resizeEvent(QResizeEvent* event) {
    CResizeDialog::resizeEvent(event);
    if (fullyBuilt_) LayOut();
}

void CkinettaDlg::moveEvent(QMoveEvent* event) {
    CResizeDialog::moveEvent(event);
    // A move may end on another monitor: lay out once it has settled.
    if (fullyBuilt_)
        StartTimer(kTimerRelayout, QApplication::styleHints()->mouseDoubleClickInterval(), true);
}

void CkinettaDlg::OnResizedByFrame() {
    LayOut();
}

void CkinettaDlg::OnDoubleClickRegion(HitRegion region) {
    if (region == HitRegion::Caption) OnCommand(kCmdMaximise);
}

} // namespace kinetta
