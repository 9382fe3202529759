#include "kinetta/telemetry/gsensor_dlg.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"

namespace kinetta {

CGSensorDlg::CGSensorDlg(TelemetryAccess* access, const DetectorFlags* flags, QWidget* parent)
    : QWidget(parent), access_(access), flags_(flags) {
    setObjectName("GSensorDlg");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(Text(kStrGraphToolTip)); // what its clicks do
}

void CGSensorDlg::Open(playcore::RecorderFamily family, bool parking, int rangeIndex,
                       double stretch) {
    hasMovie_ = true;
    geometry_.family = family;
    geometry_.parking = parking;
    geometry_.rangeIndex = rangeIndex;
    geometry_.stretch = stretch > 0 ? stretch : 1.0;
    geometry_.current = 0;
    update();
}

void CGSensorDlg::Close() {
    hasMovie_ = false;
    geometry_.current = 0;
    geometry_.entries = 0;
    update();
}

void CGSensorDlg::SetScale(double s) {
    geometry_.scale = s;
    update();
}

void CGSensorDlg::SetPosition(int64_t entry) {
    geometry_.current = entry;
    update();
}

void CGSensorDlg::Compose() {
    geometry_.clientWidth = width();
    geometry_.clientHeight = height();
    TelemetryLock lock(hasMovie_ ? access_ : nullptr);
    playcore::sGPSREADER* reader = lock.Reader();
    if (!reader) {
        geometry_.entries = 0;
        painter_.Paint(&picture_, geometry_, false, {}, {}, *flags_);
        return;
    }
    geometry_.entries = static_cast<int64_t>(reader->frameTable.size());
    painter_.Paint(&picture_, geometry_, true, reader->frameTable, reader->accel, *flags_);
}

void CGSensorDlg::paintEvent(QPaintEvent*) {
    Compose();
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

const GraphMark* CGSensorDlg::MarkNear(int x) const {
    const GraphMark* best = nullptr;
    double bestDistance = kClipMarkReach + 0.5;
    for (const auto& entry : painter_.LastPlan().marks)
        for (const GraphMark& m : entry) {
            const double d = std::fabs(m.x - x);
            if (d < bestDistance) {
                best = &m;
                bestDistance = d;
            }
        }
    return best;
}

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        PostWindowMessage(parentWidget(), UM_GRAPH_PREV);
    } else if (event->button() == Qt::RightButton) {
        // Ctrl on a mark: the clip of that event. The plain right click keeps
        // its meaning (the next event), and so does Ctrl away from the marks.
        const GraphMark* mark = (event->modifiers() & Qt::ControlModifier) && hasMovie_
                                    ? MarkNear(event->position().toPoint().x())
                                    : nullptr;
        if (mark)
            PostWindowMessage(parentWidget(), UM_CLIP_AT_EVENT, static_cast<uintptr_t>(mark->kind),
                              static_cast<intptr_t>(mark->frame));
        else
            PostWindowMessage(parentWidget(), UM_GRAPH_NEXT);
    }
}

} // namespace kinetta
