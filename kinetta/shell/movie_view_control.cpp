#include "kinetta/shell/movie_view_control.h"

#include <QGuiApplication>
#include <QScreen>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/movie_menu_open.h"
#include "kinetta/shell/movie_pointer.h"
#include "kinetta/shell/movie_view_state.h"
#include "kinetta/shell/playback_control.h"
#include "kinetta/shell/viewer_state.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

using playcore::kEngineClosed;
using playcore::kEnginePaused;
using playcore::kEnginePlaying;
using playcore::kEngineStopped;

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

MovieViewControl::MovieViewControl(playcore::PlaybackSession& session, MovieViewState& view,
                                   ViewerState& state, PlaybackControl& play,
                                   const MainLayout& layout, QWidget* window,
                                   CommandTarget& commands)
    : session_(session), view_(view), state_(state), play_(play), layout_(layout), window_(window),
      commands_(commands) {}

MovieViewControl::~MovieViewControl() = default;

void MovieViewControl::SetWindow(std::array<CMovieStatic*, 2> areas, Host host) {
    areas_ = areas;
    host_ = std::move(host);
}

// ---- the movie areas' view operations ------------------------------------------

void MovieViewControl::MovieEnded(int camera) {
    play_.MovieEnded(camera);
}

bool MovieViewControl::DragView(int camera, float dx, float dy, float scale) {
    return !state_.ShutDown() && session_.DragView(camera, dx, dy, scale);
}

void MovieViewControl::CommitViewRotation(int camera) {
    if (!state_.ShutDown()) session_.CommitViewRotation(camera);
}

void MovieViewControl::ResetModelPose(int camera) {
    if (!state_.ShutDown()) session_.ResetModelPose(camera);
}

int MovieViewControl::CameraState(int camera) const {
    return state_.ShutDown() ? kEngineClosed : session_.GetState(camera);
}

void MovieViewControl::Redraw(int camera) {
    if (!state_.ShutDown()) session_.Redraw(camera);
}

bool MovieViewControl::InZoomMode() const {
    return view_.ZoomMode();
}

bool MovieViewControl::PlaybackNearEnd() {
    return play_.IsNearEnd();
}

double MovieViewControl::AreaZoom(int camera) const {
    return view_.Zoom(camera);
}

void MovieViewControl::AreaClicked(int camera, QPoint point) {
    // Zoom mode: the clicked point is the one to magnify.
    if (state_.ShutDown() || !view_.ZoomAt(camera, point.x(), point.y())) return;
    if (controller_ && camera != 1) controller_->SetZoom(static_cast<float>(view_.Zoom(0)));
    ApplyPlacements();
    if (ShowsStill(session_.GetState(camera))) session_.Redraw(camera);
}

void MovieViewControl::AreaResetViewScale(int camera) {
    if (!view_.ResetZoom(camera)) return;
    if (controller_ && camera != 1) controller_->SetZoom(1.0f);
    ApplyPlacements();
}

void MovieViewControl::AreaFullScreen(int camera) {
    if (state_.ShutDown() || !state_.Loaded()) return;
    // Single and Light mode show the clicked area's camera; Full mode keeps
    // the front camera in the main window.
    if (!kFullMode && camera != state_.ShownCamera() && !view_.FullScreen()) {
        if (state_.Combined() || session_.Opened(camera)) play_.OnCommand(kCmdCameraSwitch);
    }
    ToggleFullScreen();
}

void MovieViewControl::AreaResized(int camera) {
    // The engine's destination rectangle and the sphere's aspect are in
    // pixels of the area at the time they were set: every new size of the
    // area (window resized, maximised, full screen, the second movie window
    // resized) sets them again, or the picture keeps its old size in a corner.
    // Before a recording is prepared there is nothing placed yet; the
    // preparation places it at the size the area has then.
    if (state_.ShutDown() || !state_.Loaded()) return;
    ApplyAreaAspect(camera); // the fit mode's call places the picture again
}

void MovieViewControl::AreaMenu(int camera, QPoint globalPoint) {
    if (state_.Busy() || state_.ShutDown()) return;
    view_.SetMenuCamera(camera);
    MovieMenuRequest r;
    r.engineState = session_.GetState(play_.MasterCamera());
    r.area = kFullMode && camera == 1 ? 1 : 0;
    r.camera = view_.MenuCamera();
    r.displayModel = view_.DisplayModel(r.camera);
    r.areaHasMovie = !areas_[r.camera]->NoData();
    // The items of toolbar commands whose flows this build lacks stay disabled.
    r.hasFlow = CommandHasFlow;
    OpenMovieMenu(r, &commands_, window_, globalPoint);
}

// ---- windows --------------------------------------------------------------------

void MovieViewControl::CreateWindows() {
    view_.SetKeepAspect(Settings().Read("DISPLAY", "ASPECT") != "off");

    controller_ = new CControllerDlg(*this, window_);
    controller_->SetMovieArea(areas_[0]->Pointer());
    controller_->EnableForDisplayModel(0);

    floating_.CreateSecondMovie(window_, areas_[1], kFullMode);
}

void MovieViewControl::StopPointerWork() {
    // The bar's stepping first: it must not step past the engines.
    if (controller_) controller_->StopStepping();
    for (CMovieStatic* a : areas_)
        if (a) a->Pointer()->ClearDragState();
}

void MovieViewControl::EndSecondMovie() {
    floating_.EndSecondMovie(window_, areas_[1], kFullMode);
}

QRect MovieViewControl::ScreenRect(const Rect& r) const {
    // Relative to the window's remembered top-left corner (its place outside full screen).
    const QPoint origin = view_.FullScreen()
                              ? QPoint(view_.NormalGeometry().left, view_.NormalGeometry().top)
                              : window_->pos();
    return QRect(origin.x() + r.left, origin.y() + r.top, r.width, r.height);
}

FloatingPlaces MovieViewControl::DefaultPlaces() const {
    return DefaultFloatingPlaces(layout_, SkinScale(), view_.Panorama());
}

QRect MovieViewControl::MapDefaultPlace() const {
    return ScreenRect(DefaultPlaces().map);
}

void MovieViewControl::PlaceFloatingAtStart() {
    const FloatingPlaces places = DefaultPlaces();
    floating_.PlaceAtStart(ScreenRect(places.map), ScreenRect(places.secondMovie), kFullMode);
}

void MovieViewControl::PlaceController() {
    if (!controller_) return;
    controller_->setGeometry(ToQRect(layout_.controller));
    controller_->LayoutButtons();
    controller_->setVisible(!view_.FullScreen());
}

void MovieViewControl::EnableController() {
    if (!controller_) return;
    controller_->EnableForDisplayModel(state_.Busy() ? 0
                                                     : view_.DisplayModel(state_.ShownCamera()));
}

// ---- commands ---------------------------------------------------------------------

bool MovieViewControl::OnCommand(int id) {
    switch (id) {
    case kCmdZoom: {
        const bool on = view_.ToggleZoomMode();
        if (CSkinButton* b = host_.toolbarButton(kCmdZoom)) b->SetPressedLook(on);
        if (on) return true;
        // Leaving zoom mode shows the whole picture again.
        if (controller_) controller_->SetZoom(1.0f);
        ApplyPlacements();
        for (int k = 0; k < 2; ++k)
            if (ShowsStill(session_.GetState(k))) session_.Redraw(k);
        return true;
    }
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
    case kCmdAspect:
        OnAspect();
        return true;
    case kCmdResetView: {
        // The area the menu was opened on (the main area otherwise).
        const int camera = view_.MenuCamera();
        view_.SetMenuCamera(kFullMode ? 0 : state_.ShownCamera());
        if (view_.DisplayModel(camera) == 3 && controller_) controller_->ResetTurnedView(camera);
        return true;
    }
    default:
        return false;
    }
}

void MovieViewControl::OnDisplayModeSwitch() {
    CMovieStatic* main = areas_[kFullMode ? 0 : state_.ShownCamera()];
    const int cam = main->Camera();
    // Hidden while the model changes, so that the old picture does not flash
    // in the new shape.
    main->hide();
    main->Pointer()->ClearDragState();
    session_.CommitViewRotation(cam);

    const int model = NextDisplayModel(kBuildMode, main->DisplayModel());
    view_.SetDisplayModels(model);
    host_.layOut(); // the list column follows the panorama
    for (int k = 0; k < 2; ++k) {
        ApplyAreaAspect(k);
        session_.SetDisplayMode(k, model);
    }
    host_.updateToolbar();
    EnableController();
    ApplyPlacements();
    main->hide(); // the layout placed it; UM_SHOW_MOVIE shows it again
    for (int k = 0; k < 2; ++k)
        if (ShowsStill(session_.GetState(k))) session_.Redraw(k);
    PostWindowMessage(window_, UM_SHOW_MOVIE);
}

void MovieViewControl::OnFlip(int camera) {
    const bool flipped = session_.FlipView(camera);
    view_.SetMirrored(camera, flipped);
    if (CSkinButton* b = host_.toolbarButton(camera == 0 ? kCmdFlip : kCmdMirror))
        b->SetPressedLook(flipped);
    areas_[camera]->update();
    const int state = session_.GetState(camera);
    if (state != kEngineClosed && state != kEnginePlaying) session_.Redraw(camera);
}

void MovieViewControl::OnAspect() {
    view_.SetKeepAspect(!view_.KeepAspect());
    Settings().Write("DISPLAY", "ASPECT", view_.KeepAspect() ? "on" : "off");
    for (int k = 0; k < 2; ++k) {
        ApplyAreaAspect(k);
        if (ShowsStill(session_.GetState(k))) session_.Redraw(k);
    }
    host_.placeMovieAreas();
    ApplyPlacements();
}

void MovieViewControl::ApplyAreaAspect(int area) {
    // The split view and the picture as recorded keep the recording's shape
    // when the aspect setting asks for it; the dewarped models fill the area.
    CMovieStatic* a = areas_[area];
    session_.SetFitMode(area, view_.FitMode(view_.DisplayModel(area)));
    if (view_.KeepAspect()) session_.SetViewAspect(area, a->width(), a->height());
}

void MovieViewControl::ApplyPlacements() {
    const auto p = view_.Placements();
    session_.SetVideoPlacement(p[0], p[1], true);
}

// ---- full screen ------------------------------------------------------------------

void MovieViewControl::ToggleFullScreen() {
    if (!view_.FullScreen()) {
        // Refused within the last frames of the movie.
        const int cam = play_.MasterCamera();
        if (MovieViewState::FullScreenRefused(session_.GetLength(cam), session_.GetPosition(cam)))
            return;
        const int state = session_.GetState(cam);
        play_.FadeOutNow();
        if (state != kEnginePaused && state != kEngineClosed)
            session_.Pause(state_.CameraSelection());
        if (state == kEnginePlaying) host_.showPlayFace(false);
        const QRect normal = window_->geometry();
        view_.EnterFullScreen({normal.x(), normal.y(), normal.width(), normal.height()});
        QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
        if (screen) window_->setGeometry(screen->geometry());
        host_.layOut();
        window_->raise();
        window_->activateWindow();
    } else {
        LeaveFullScreen();
        host_.layOut();
    }
    ApplyPlacements();
    host_.updateToolbar();
}

void MovieViewControl::LeaveFullScreen() {
    if (!view_.FullScreen()) return;
    const Rect normal = view_.LeaveFullScreen();
    window_->setGeometry(normal.left, normal.top, normal.width, normal.height);
}

// ---- floating windows' notifications --------------------------------------------

bool MovieViewControl::HandleMessage(int message, long long lParam) {
    QObject* window = reinterpret_cast<QObject*>(static_cast<std::intptr_t>(lParam));
    CMovieDialog* second = floating_.SecondMovie();
    const bool secondShown = kFullMode && floating_.IsSecondMovie(window);
    switch (message) {
    case UM_SHOW_MOVIE:
        areas_[kFullMode ? 0 : state_.ShownCamera()]->show();
        return true;
    case UM_WINDOW_SIZED: {
        // The map frame's contents follow its size (the map feature).
        if (floating_.IsMapFrame(window)) emit state_.FloatingFrameSized(window);
        if (!secondShown) return true;
        areas_[1]->setGeometry(second->InnerRect());
        areas_[1]->show();
        areas_[1]->update();
        const int state = session_.GetState(1);
        if (!second->isMinimized() && state != kEngineClosed && state != kEnginePlaying)
            session_.Redraw(1);
        return true;
    }
    case UM_WINDOW_PAINTED: {
        if (!secondShown || second->isMinimized()) return true;
        ApplyPlacements();
        const int state = session_.GetState(1);
        if (state != kEngineClosed && state != kEnginePlaying) session_.Redraw(1);
        return true;
    }
    case UM_WINDOW_RESET: {
        const FloatingPlaces places = DefaultPlaces();
        floating_.PutAtDefaultPlaces(ScreenRect(places.map), ScreenRect(places.secondMovie),
                                     kFullMode);
        return true;
    }
    default:
        return false;
    }
}

} // namespace kinetta
