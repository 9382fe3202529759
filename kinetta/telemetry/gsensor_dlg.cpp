#include "kinetta/telemetry/gsensor_dlg.h"

#include <QMouseEvent>
#include <QPainter>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"

namespace kinetta {

CGSensorDlg::CGSensorDlg(TelemetryAccess* access, const DetectorFlags* flags, QWidget* parent)
    : QWidget(parent), access_(access), flags_(flags) {
    setObjectName("GSensorDlg");
    setAttribute(Qt::WA_OpaquePaintEvent);
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

void CGSensorDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        PostWindowMessage(parentWidget(), UM_GRAPH_PREV);
    else if (event->button() == Qt::RightButton)
        PostWindowMessage(parentWidget(), UM_GRAPH_NEXT);
}

} // namespace kinetta
