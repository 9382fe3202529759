// How the main window shows its cameras: the display-model switch, mirror
// image, aspect, zoom mode, full screen, the floating windows (map window
// frame and second movie window), the controller bar and the movie areas'
// context menu; and the view operations the movie areas ask of the engine.

#include <QGuiApplication>
#include <QScreen>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/movie_menu_open.h"
#include "kinetta/shell/movie_pointer.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_slider.h"

namespace kinetta {

namespace {

constexpr bool kFullMode = kBuildMode == OperatingMode::Full;
// The movie areas' menu commands besides the toolbar's.
constexpr int kCmdAspect = 38200;
constexpr int kCmdResetView = 38201;
constexpr int kCmdMenuFlipFront = 38202;
constexpr int kCmdMenuMirrorRear = 38203;

bool ShowsStill(int state) {
    return state == kEngineStopped || state == kEnginePaused;
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

} // namespace

// ---- the movie areas' view operations ------------------------------------------

bool CkinettaDlg::DragView(int camera, float dx, float dy, float scale) {
    return !shutDown_ && playback_.DragView(camera, dx, dy, scale);
}

void CkinettaDlg::CommitViewRotation(int camera) {
    if (!shutDown_) playback_.CommitViewRotation(camera);
}

void CkinettaDlg::ResetModelPose(int camera) {
    if (!shutDown_) playback_.ResetModelPose(camera);
}

int CkinettaDlg::CameraState(int camera) const {
    return shutDown_ ? kEngineClosed : playback_.GetState(camera);
}

void CkinettaDlg::Redraw(int camera) {
    if (!shutDown_) playback_.Redraw(camera);
}

double CkinettaDlg::AreaZoom(int camera) const {
    return view_.Zoom(camera);
}

void CkinettaDlg::AreaClicked(int camera, QPoint point) {
    // Zoom mode: the clicked point is the one to magnify.
    if (shutDown_ || !view_.ZoomAt(camera, point.x(), point.y())) return;
    if (controller_ && camera != 1) controller_->SetZoom(static_cast<float>(view_.Zoom(0)));
    ApplyPlacements();
    if (ShowsStill(playback_.GetState(camera))) playback_.Redraw(camera);
}

void CkinettaDlg::AreaResetViewScale(int camera) {
    if (!view_.ResetZoom(camera)) return;
    if (controller_ && camera != 1) controller_->SetZoom(1.0f);
    ApplyPlacements();
}

void CkinettaDlg::AreaFullScreen(int camera) {
    if (shutDown_ || !loaded_) return;
    // Single and Light mode show the clicked area's camera; Full mode keeps
    // the front camera in the main window.
    if (!kFullMode && camera != shownCamera_ && !view_.FullScreen()) {
        if (combined_ || playback_.Opened(camera)) OnCameraSwitch();
    }
    ToggleFullScreen();
}

void CkinettaDlg::AreaMenu(int camera, QPoint globalPoint) {
    if (busy_ || shutDown_) return;
    view_.SetMenuCamera(camera);
    MovieMenuRequest r;
    r.engineState = playback_.GetState(MasterCamera());
    r.area = kFullMode && camera == 1 ? 1 : 0;
    r.camera = view_.MenuCamera();
    r.displayModel = areas_[r.camera]->DisplayModel();
    r.areaHasMovie = !areas_[r.camera]->NoData();
    // The items of toolbar commands whose flows this build lacks stay disabled.
    r.hasFlow = CommandHasFlow;
    OpenMovieMenu(r, this, this, globalPoint);
}

// ---- windows --------------------------------------------------------------------

void CkinettaDlg::CreateMovieWindows() {
    view_.SetKeepAspect(Settings().Read("DISPLAY", "ASPECT") != "off");

    controller_ = new CControllerDlg(*this, this);
    controller_->SetMovieArea(areas_[0]->Pointer());
    controller_->EnableForDisplayModel(0);

    CreateMap();

    floating_.CreateSecondMovie(this, areas_[1], kFullMode);
}

void CkinettaDlg::EndMovieWindows() {
    // The bar's stepping first: it must not step past the engines.
    if (controller_) controller_->StopStepping();
    for (CMovieStatic* a : areas_)
        if (a) a->Pointer()->ClearDragState();
    EndMap();
    floating_.EndSecondMovie(this, areas_[1], kFullMode);
}

QRect CkinettaDlg::ScreenRect(const Rect& r) const {
    // Relative to the window's remembered top-left corner (its place outside full screen).
    const QPoint origin = view_.FullScreen()
                              ? QPoint(view_.NormalGeometry().left, view_.NormalGeometry().top)
                              : pos();
    return QRect(origin.x() + r.left, origin.y() + r.top, r.width, r.height);
}

void CkinettaDlg::PlaceFloatingAtStart() {
    const FloatingPlaces places =
        DefaultFloatingPlaces(layout_, SkinScale(), areas_[0]->DisplayModel() == 4);
    floating_.PlaceAtStart(ScreenRect(places.map), ScreenRect(places.secondMovie), kFullMode);
}

void CkinettaDlg::PlaceController() {
    if (!controller_) return;
    controller_->setGeometry(ToQRect(layout_.controller));
    controller_->LayoutButtons();
    controller_->setVisible(!view_.FullScreen());
}

void CkinettaDlg::EnableController() {
    if (!controller_) return;
    controller_->EnableForDisplayModel(busy_ ? 0 : areas_[shownCamera_]->DisplayModel());
}

// ---- commands ---------------------------------------------------------------------

bool CkinettaDlg::OnViewCommand(int id) {
    switch (id) {
    case kCmdZoom:
        OnZoomCommand();
        return true;
    case kCmdDisplayMode:
        OnDisplayModeSwitch();
        return true;
    case kCmdFlip:
    case kCmdMenuFlipFront:
        OnFlip(0);
        return true;
    case kCmdMirror:
    case kCmdMenuMirrorRear:
        OnFlip(1);
        return true;
    case kCmdMapDisplay:
        // Not in the last moments of a recording, like the other commands
        // that change what the windows show.
        if (!IsNearEnd()) OnMapDisplay();
        return true;
    case kCmdAspect:
        OnAspect();
        return true;
    case kCmdResetView:
        OnResetView();
        return true;
    default:
        return false;
    }
}

void CkinettaDlg::OnZoomCommand() {
    const bool on = view_.ToggleZoomMode();
    if (CSkinButton* b = ToolbarButton(kCmdZoom)) b->SetPressedLook(on);
    if (!on) {
        // Leaving zoom mode shows the whole picture again.
        if (controller_) controller_->SetZoom(1.0f);
        ApplyPlacements();
        for (int k = 0; k < 2; ++k)
            if (ShowsStill(playback_.GetState(k))) playback_.Redraw(k);
    }
}

void CkinettaDlg::OnDisplayModeSwitch() {
    CMovieStatic* main = areas_[kFullMode ? 0 : shownCamera_];
    const int cam = main->Camera();
    // Hidden while the model changes, so that the old picture does not flash
    // in the new shape.
    main->hide();
    main->Pointer()->ClearDragState();
    playback_.CommitViewRotation(cam);

    const int model = NextDisplayModel(kBuildMode, main->DisplayModel());
    for (CMovieStatic* a : areas_)
        a->SetDisplayModel(model);
    LayOut(); // the list column follows the panorama
    for (int k = 0; k < 2; ++k) {
        ApplyAreaAspect(k);
        playback_.SetDisplayMode(k, model);
    }
    UpdateToolbar();
    EnableController();
    ApplyPlacements();
    main->hide(); // LayOut placed it; UM_SHOW_MOVIE shows it again
    for (int k = 0; k < 2; ++k)
        if (ShowsStill(playback_.GetState(k))) playback_.Redraw(k);
    PostWindowMessage(this, UM_SHOW_MOVIE);
}

void CkinettaDlg::OnFlip(int camera) {
    const bool flipped = playback_.FlipView(camera);
    view_.SetMirrored(camera, flipped);
    if (CSkinButton* b = ToolbarButton(camera == 0 ? kCmdFlip : kCmdMirror))
        b->SetPressedLook(flipped);
    areas_[camera]->update();
    const int state = playback_.GetState(camera);
    if (state != kEngineClosed && state != kEnginePlaying) playback_.Redraw(camera);
}

void CkinettaDlg::OnAspect() {
    view_.SetKeepAspect(!view_.KeepAspect());
    Settings().Write("DISPLAY", "ASPECT", view_.KeepAspect() ? "on" : "off");
    for (int k = 0; k < 2; ++k) {
        ApplyAreaAspect(k);
        if (ShowsStill(playback_.GetState(k))) playback_.Redraw(k);
    }
    PlaceMovieAreas();
    ApplyPlacements();
}

void CkinettaDlg::OnResetView() {
    // The area the menu was opened on (the main area otherwise).
    const int camera = view_.MenuCamera();
    view_.SetMenuCamera(kFullMode ? 0 : shownCamera_);
    if (areas_[camera]->DisplayModel() != 3 || !controller_) return;
    controller_->ResetTurnedView(camera);
}

void CkinettaDlg::ApplyAreaAspect(int area) {
    // The split view and the picture as recorded keep the recording's shape
    // when the aspect setting asks for it; the dewarped models fill the area.
    CMovieStatic* a = areas_[area];
    playback_.SetFitMode(area, view_.FitMode(a->DisplayModel()));
    if (view_.KeepAspect()) playback_.SetViewAspect(area, a->width(), a->height());
}

void CkinettaDlg::ApplyPlacements() {
    const auto p = view_.Placements();
    playback_.SetVideoPlacement(p[0], p[1], true);
}

// ---- full screen ------------------------------------------------------------------

void CkinettaDlg::ToggleFullScreen() {
    if (!view_.FullScreen()) {
        // Refused within the last frames of the movie.
        const int cam = MasterCamera();
        if (MovieViewState::FullScreenRefused(playback_.GetLength(cam), playback_.GetPosition(cam)))
            return;
        const int state = playback_.GetState(cam);
        FadeOut();
        if (state != kEnginePaused && state != kEngineClosed) playback_.Pause(cameraSelection_);
        if (state == kEnginePlaying) ShowPlayFace(false);
        const QRect normal = geometry();
        view_.EnterFullScreen({normal.x(), normal.y(), normal.width(), normal.height()});
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) setGeometry(screen->geometry());
        LayOut();
        raise();
        activateWindow();
    } else {
        const Rect normal = view_.LeaveFullScreen();
        setGeometry(normal.left, normal.top, normal.width, normal.height);
        LayOut();
    }
    ApplyPlacements();
    UpdateToolbar();
}

// ---- floating windows' notifications --------------------------------------------

bool CkinettaDlg::HandleViewMessage(int message, long long lParam) {
    QObject* window = reinterpret_cast<QObject*>(static_cast<std::intptr_t>(lParam));
    switch (message) {
    case UM_SHOW_MOVIE:
        areas_[kFullMode ? 0 : shownCamera_]->show();
        return true;
    case UM_WINDOW_SIZED:
        OnWindowSized(window);
        return true;
    case UM_WINDOW_PAINTED:
        OnWindowPainted(window);
        return true;
    case UM_WINDOW_RESET:
        OnWindowReset();
        return true;
    default:
        return false;
    }
}

void CkinettaDlg::OnWindowSized(QObject* window) {
    if (floating_.IsMapFrame(window)) {
        LayOutMap();
        return;
    }
    if (!floating_.IsSecondMovie(window) || !kFullMode) return;
    CMovieDialog* second = floating_.SecondMovie();
    areas_[1]->setGeometry(second->InnerRect());
    areas_[1]->show();
    areas_[1]->update();
    const int state = playback_.GetState(1);
    if (!second->isMinimized() && state != kEngineClosed && state != kEnginePlaying)
        playback_.Redraw(1);
}

void CkinettaDlg::OnWindowPainted(QObject* window) {
    if (!floating_.IsSecondMovie(window) || !kFullMode || floating_.SecondMovie()->isMinimized())
        return;
    ApplyPlacements();
    const int state = playback_.GetState(1);
    if (state != kEngineClosed && state != kEnginePlaying) playback_.Redraw(1);
}

void CkinettaDlg::OnWindowReset() {
    const FloatingPlaces places =
        DefaultFloatingPlaces(layout_, SkinScale(), areas_[0]->DisplayModel() == 4);
    floating_.PutAtDefaultPlaces(ScreenRect(places.map), ScreenRect(places.secondMovie), kFullMode);
}

} // namespace kinetta
