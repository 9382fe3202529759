#include "kinetta/telemetry/graph_painter.h"

#include <QPainter>

#include <cmath>

#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

using playcore::RecorderFamily;

namespace {
QColor Rgb(uint32_t c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}
} // namespace

const QImage& GraphPainter::Background(int id, QSize size) {
    if (id != backgroundId_ || background_.size() != size) {
        backgroundId_ = id;
        background_ = RenderSkinImage(id, size);
    }
    return background_;
}

const QImage& GraphPainter::Star(double scale) {
    if (starScale_ != scale || star_.isNull()) {
        starScale_ = scale;
        const int side = std::max(1, DesignPixels(11, scale));
        star_ = RenderSkinImage(kPicGraphStar, QSize(side, side));
    }
    return star_;
}

void GraphPainter::PaintBackground(QPainter& p, const GraphGeometry& g) {
    const bool tx50 = g.family == RecorderFamily::TX50;
    // TX40: the 656 x 70 artwork at the display scale; TX50: the 640 x 120
    // artwork over the plot height, so that its zero line lies at h / 2.
    const int id = tx50 ? kPicGraphTx50 : kPicGraphTx40;
    const QSize stored = StoredPictureSize(id);
    const int height = tx50 ? static_cast<int>(Tx50PlotHeight(g.clientHeight, g.scale))
                            : DesignPixels(stored.height(), g.scale);
    const int width = DesignPixels(stored.width() + 1, g.scale);
    if (width <= 0 || height <= 0) return;
    const QImage& art = Background(id, QSize(width, height));
    const int left = LeftMargin(g.family, g.scale);
    p.drawImage(QPoint(0, 0), art, QRect(0, 0, left, height));
    // The plot part repeats, its step a whole number of 5-unit cells.
    const int cell = std::max(1, DesignPixels(5, g.scale));
    const int plotPart = width - left;
    const int step = std::max(cell, plotPart / cell * cell);
    for (int x = left; x < g.clientWidth; x += step)
        p.drawImage(QPoint(x, 0), art, QRect(left, 0, step, height));
}

void GraphPainter::Paint(QImage* image, const GraphGeometry& g, bool hasMovie,
                         std::span<playcore::AccelRecord* const> table,
                         std::span<playcore::AccelRecord> records, const DetectorFlags& flags) {
    const QSize size(std::max(0, g.clientWidth), std::max(0, g.clientHeight));
    if (image->size() != size || image->format() != QImage::Format_RGB32)
        *image = QImage(size, QImage::Format_RGB32);
    if (size.isEmpty()) return;
    image->fill(Qt::black);
    plan_ = GraphPlan{};
    if (!hasMovie || g.clientWidth <= 0) return;

    PlanGraph(g, table, records, flags, &plan_);
    QPainter p(image);
    PaintBackground(p, g);

    // Axis lines, 1-pixel solid pens.
    for (int axis = 0; axis < 3; ++axis) {
        p.setPen(QPen(Rgb(AxisColour(axis)), 1));
        for (const PlotSegment& s : plan_.axes[static_cast<size_t>(axis)])
            p.drawLine(QPointF(s.a.x, s.a.y), QPointF(s.b.x, s.b.y));
    }

    // Speeding band: RGB(170, 0, 0) at 50 % over the bottom strip.
    if (!plan_.band.empty()) {
        if (band_.isNull()) band_ = RenderSkinImage(kPicGraphBand, QSize(64, 64));
        const QBrush brush(band_);
        p.setOpacity(0.5);
        for (const auto& [x0, x1] : plan_.band) {
            const int a = static_cast<int>(std::floor(x0));
            const int b = static_cast<int>(std::floor(x1));
            p.fillRect(QRect(a, static_cast<int>(plan_.bandTop), std::max(1, b - a),
                             static_cast<int>(std::ceil(plan_.bandHeight))),
                       brush);
        }
        p.setOpacity(1.0);
    }

    // Marks: entry by entry, a full-height line and the glyph near the top.
    p.setFont(SharedFont(kFont9));
    const int glyphX = DesignPixels(2, g.scale);
    const int glyphY = DesignPixels(1, g.scale);
    const QFontMetrics fm(p.font());
    for (const auto& entryMarks : plan_.marks) {
        for (const GraphMark& m : entryMarks) {
            const int x = static_cast<int>(m.x);
            p.setPen(QPen(Rgb(MarkColour(m.kind)), 1));
            p.drawLine(x, 0, x, g.clientHeight - 1);
            if (m.kind == 11) {
                p.drawImage(QPoint(x + glyphX, glyphY), Star(g.scale));
            } else {
                p.setPen(Qt::white);
                p.drawText(QPoint(x + glyphX, glyphY + fm.ascent()),
                           QString::fromUtf8(MarkGlyph(m.kind)));
            }
        }
    }

    // TX50: the range labels, right-aligned in a 38-unit column.
    if (g.family == RecorderFamily::TX50) {
        const RangeLabels labels = RangeLabelsFor(g.rangeIndex);
        const int w = DesignPixels(38, g.scale);
        const int h = fm.height();
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, w, h), Qt::AlignRight | Qt::AlignTop, labels.positive);
        p.drawText(QRect(0, DesignPixels(25, g.scale), w, h), Qt::AlignRight | Qt::AlignTop,
                   kZeroLabel);
        p.drawText(QRect(0, DesignPixels(50, g.scale), w, h), Qt::AlignRight | Qt::AlignTop,
                   labels.negative);
    }

    // The cursor, white over the full height.
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(plan_.cursorX, 0, plan_.cursorX, g.clientHeight - 1);
}

} // namespace kinetta
