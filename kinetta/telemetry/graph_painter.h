#pragma once
// Draws the acceleration graph (graph_plan.h) into an image of the graph's
// client size: the family's background, the axis lines, the event marks and
// glyphs, the speeding band, the range labels and the cursor. The window and
// `kinetta-cli graph` draw through the same painter, so the command line
// draws exactly what the window shows. Needs a QGuiApplication (fonts, SVG).

#include <QImage>
#include <QPixmap>

#include <span>

#include "kinetta/telemetry/graph_plan.h"

namespace kinetta {

class GraphPainter {
public:
    // Composes the whole picture into *image (resized to the client size).
    // Without a movie (hasMovie false) or with a zero-width client area only
    // the erase colour is drawn. records/table as PlanGraph; the caller holds
    // the telemetry lock.
    void Paint(QImage* image, const GraphGeometry& g, bool hasMovie,
               std::span<playcore::AccelRecord* const> table,
               std::span<playcore::AccelRecord> records, const DetectorFlags& flags);

    // The plan of the last Paint (tests and the command line read it).
    const GraphPlan& LastPlan() const { return plan_; }

private:
    void PaintBackground(QPainter& p, const GraphGeometry& g);
    const QImage& Background(int id, QSize size);
    const QImage& Star(double scale);

    GraphPlan plan_;
    // Rendered artwork, remade only when its size changes.
    int backgroundId_ = 0;
    QImage background_;
    QImage star_;
    QImage band_; // the band's artwork, one flat colour
    double starScale_ = 0;
};

} // namespace kinetta
