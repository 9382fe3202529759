#include "kinetta/shell/controller_dlg.h"

#include <QPainter>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/shell/controller_logic.h"
#include "kinetta/shell/movie_area_pointer.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

bool IsControllerCommand(int command) {
    return command >= kControllerUp && command <= kControllerReset;
}

} // namespace

CControllerDlg::CControllerDlg(MovieViewHost& engine, QWidget* parent)
    : QWidget(parent), engine_(engine) {
    setObjectName(QStringLiteral("controller bar"));
    const auto& infos = ControllerButtons();
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const ControllerButtonInfo& info = infos[i];
        // Button size for the current scale; placed by the first layout.
        const int e = Scaled(SkinScale(), 32);
        buttons_[i] = new CSkinButton(info.picture, QRect(0, 0, e, e), this, info.command,
                                      /*reportHold=*/true);
        buttons_[i]->setToolTip(QString::fromUtf8(info.tooltip));
    }
    stepTimer_.setTimerType(Qt::PreciseTimer);
    stepTimer_.setInterval(kStepMs);
    connect(&stepTimer_, &QTimer::timeout, this, [this] { Step(); });
}

void CControllerDlg::SetStepPeriod(std::chrono::milliseconds period) {
    stepTimer_.setInterval(period);
}

void CControllerDlg::StopStepping() {
    activeCommand_ = 0;
    stepTimer_.stop();
}

void CControllerDlg::Step() {
    const int command = activeCommand_;
    if (!IsControllerCommand(command)) {
        stepTimer_.stop();
        return;
    }
    if (!area_) return;
    if (command == kControllerReset) {
        // A held reset is paced like the steps: it keeps the view at its
        // initial pose without flooding the engine.
        ResetTurnedView(camera_);
        return;
    }
    const PixelDelta step = ControllerButtons()[static_cast<size_t>(command - kControllerUp)].step;
    dx_ = step.dx;
    dy_ = step.dy;
    const QSize size = area_->Host().ClientSize();
    // The movie area's drag step with both axes and the dominant-axis rule
    // (the horizontal turn wins a tie).
    const ViewDrag v = DragForMove(3, {dx_, dy_}, zoom_, size.width(), size.height());
    if (!engine_.DragView(camera_, v.dx, v.dy, zoom_) && v.dx == 0) {
        ClearDragState();
        engine_.CommitViewRotation(camera_);
    }
    const int state = engine_.CameraState(camera_);
    if (state == 1 || state == 3) engine_.Redraw(camera_);
    // The next step turns on from the new pose.
    engine_.CommitViewRotation(camera_);
}

void CControllerDlg::ClearDragState() {
    if (area_) area_->ClearDragState();
}

void CControllerDlg::ResetTurnedView(int camera) {
    dx_ = dy_ = 0;
    ClearDragState();
    engine_.CommitViewRotation(camera);
    engine_.ResetModelPose(camera);
    engine_.Redraw(camera);
    engine_.CommitViewRotation(camera);
}

void CControllerDlg::Press(int command) {
    if (activeCommand_ == 0) {
        ClearDragState();
        engine_.CommitViewRotation(camera_);
    }
    activeCommand_ = command;
    // The first step at once, then one every period.
    if (!stepTimer_.isActive()) {
        stepTimer_.start();
        Step();
    }
}

void CControllerDlg::Release() {
    StopStepping();
    ClearDragState();
    engine_.CommitViewRotation(camera_);
}

void CControllerDlg::EnableForDisplayModel(int model) {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (model != 3) buttons_[i]->SetPressedLook(false);
        buttons_[i]->setEnabled(ControllerButtonEnabled(static_cast<int>(i), model));
    }
    if (model != 3 && model != 4) StopStepping();
    update();
}

void CControllerDlg::PlaceButtons(bool rebuildPictures) {
    if (width() == 0) return;
    const auto rects = ControllerButtonRects(width(), height(), SkinScale());
    const auto& infos = ControllerButtons();
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (rebuildPictures)
            buttons_[i]->SetPicture(infos[i].picture, ToQRect(rects[i]));
        else
            buttons_[i]->setGeometry(ToQRect(rects[i]));
    }
}

void CControllerDlg::LayoutButtons() {
    if (width() == 0) return;
    PlaceButtons(true);
    laidOut_ = true;
}

bool CControllerDlg::event(QEvent* e) {
    if (const auto* m = AsWindowMessage(e)) {
        const int command = static_cast<int>(m->LParam());
        if (m->Message() == UM_BUTTON_HELD && IsControllerCommand(command)) {
            Press(command);
            return true;
        }
        if (m->Message() == UM_BUTTON_RELEASED) {
            Release();
            return true;
        }
    }
    return QWidget::event(e);
}

void CControllerDlg::paintEvent(QPaintEvent*) {
    if (!laidOut_ && width() > 0) {
        // The first drawing of the background lays the buttons out.
        PlaceButtons(false);
        laidOut_ = true;
    }
    QPainter p(this);
    p.fillRect(rect(), kSkinWindowColor);
    DrawSkinPicture(p, kPicMainBackground, QRectF(rect()));
}

} // namespace kinetta
