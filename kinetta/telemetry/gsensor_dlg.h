#pragma once
// CGSensorDlg: the acceleration graph, a child of the main window. It draws
// the open recording's three acceleration axes with the event marks and a
// cursor at the playback position (graph_painter.h), composed off-screen and
// copied to the window in one transfer, so the 100 ms repaints do not
// flicker. Releasing the left button posts UM_GRAPH_PREV (0x8191) to the
// parent, the right button UM_GRAPH_NEXT (0x8192). A right click with Ctrl
// held within kClipMarkReach pixels of an event mark posts UM_CLIP_AT_EVENT
// (the mark's kind and frame) instead, so that the event's clip is offered;
// away from every mark it is the plain right click.
//
// Threads: UI thread only. Painting reads the records under the session's
// telemetry lock (TelemetryAccess) for the whole pass.

#include <QImage>
#include <QWidget>

#include "kinetta/telemetry/graph_painter.h"
#include "kinetta/telemetry/telemetry_access.h"

namespace kinetta {

class CGSensorDlg : public QWidget {
public:
    // flags: the detector flags, owned by the caller and outliving the graph.
    CGSensorDlg(TelemetryAccess* access, const DetectorFlags* flags, QWidget* parent);

    // Open: a recording's telemetry is loaded; family, parking flag, range
    // index and stretch ratio of the geometry state. Repaints.
    void Open(playcore::RecorderFamily family, bool parking, int rangeIndex, double stretch);
    // No recording: painting only erases.
    void Close();
    bool HasMovie() const { return hasMovie_; }
    // The display scale S (left margin and design sizes).
    void SetScale(double s);
    // The current entry index (frames); repaints.
    void SetPosition(int64_t entry);

    // How far from a mark's line a Ctrl + right click still means the mark (pixels).
    static constexpr int kClipMarkReach = 4;
    // The mark nearest x within kClipMarkReach in the last picture; null for none.
    const GraphMark* MarkNear(int x) const;

    const GraphGeometry& Geometry() const { return geometry_; }
    // The last composed picture and its plan (tests).
    const QImage& Picture() const { return picture_; }
    const GraphPlan& LastPlan() const { return painter_.LastPlan(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Compose();

    TelemetryAccess* access_;
    const DetectorFlags* flags_;
    bool hasMovie_ = false;
    GraphGeometry geometry_;
    GraphPainter painter_;
    QImage picture_; // the off-screen picture
};

} // namespace kinetta
