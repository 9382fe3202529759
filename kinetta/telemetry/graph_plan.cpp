#include "kinetta/telemetry/graph_plan.h"

#include <algorithm>
#include <cmath>

namespace kinetta {

using playcore::AccelRecord;
using playcore::RecorderFamily;

int DesignPixels(double units, double scale) {
    return static_cast<int>(std::trunc(units * scale));
}

int LeftMargin(RecorderFamily family, double scale) {
    return DesignPixels(family == RecorderFamily::TX50 ? 41 : 52, scale);
}

int PlotWidth(const GraphGeometry& g) {
    int w = g.clientWidth - LeftMargin(g.family, g.scale);
    if (g.family == RecorderFamily::TX50) w -= DesignPixels(1, g.scale);
    return std::max(0, w);
}

int CursorX(const GraphGeometry& g) {
    const int left = LeftMargin(g.family, g.scale);
    if (g.entries <= 0) return left;
    const double perEntry = static_cast<double>(PlotWidth(g)) / static_cast<double>(g.entries);
    return left + static_cast<int>(std::trunc(static_cast<double>(g.current) * perEntry));
}

int64_t ColumnMap::Entry(int64_t c) const {
    return static_cast<int64_t>(std::floor(static_cast<double>(c) + shift));
}

ColumnMap MapColumns(int plotWidth, int64_t entries, double stretch, int64_t current) {
    ColumnMap m;
    if (plotWidth <= 0 || entries <= 0 || !(stretch > 0)) return m;
    m.p = plotWidth / (static_cast<double>(entries) * stretch);
    m.s = std::max(m.p, 1.0);
    m.shift = (1.0 - m.p / m.s) * static_cast<double>(current);
    m.columns = static_cast<int64_t>(std::ceil(plotWidth / m.s));
    return m;
}

int RangeIndexFor(double maxAccel) {
    if (maxAccel >= 1.5) return 3;
    if (maxAccel >= 1.0) return 2;
    if (maxAccel >= 0.5) return 1;
    return 0;
}

RangeLabels RangeLabelsFor(int rangeIndex) {
    switch (rangeIndex) {
    case 0:
        return {" 0.5G", "-0.5G"};
    case 2:
        return {" 1.5G", "-1.5G"};
    case 3:
        return {"   2G", "  -2G"};
    default:
        return {"   1G", "  -1G"};
    }
}

double ClampG(double g) {
    if (std::isnan(g)) return 0;
    return std::clamp(g, -2.0, 2.0);
}

double QuantiseTx40(double g) {
    const double q = std::floor(std::fabs(g) * 10.0) / 10.0;
    return g < 0 ? -q : q;
}

int VerticalScale::Offset(double g) const {
    const double v = std::trunc(ClampG(g) * pixelsPerG);
    const double lim = std::max(0.0, std::trunc(limit));
    return static_cast<int>(std::clamp(v, -lim, lim));
}

double Tx50PlotHeight(int clientHeight, double scale) {
    return clientHeight - kBandStripUnits * scale;
}

VerticalScale Tx50Scale(int clientHeight, int rangeIndex, double scale) {
    const double h = Tx50PlotHeight(clientHeight, scale);
    const int n = rangeIndex >= 0 && rangeIndex <= 3 ? rangeIndex + 1 : 2;
    return {std::max(0.0, 0.8 * (h - 6 * scale) / n), h / 2 - 3 * scale};
}

namespace {
// Half the TX40 background's 70 units, and one lane.
double Tx40Half(double scale) {
    return 35.0 * scale;
}
double Tx40Lane(double scale) {
    return 2 * Tx40Half(scale) / 3 - scale;
}
} // namespace

VerticalScale Tx40Scale(double scale) {
    const double lane = Tx40Lane(scale);
    return {std::max(0.0, 0.8 * (lane - 6 * scale)), lane / 2 - 3 * scale};
}

double Tx40ZeroLine(int lane, double scale) {
    return Tx40Half(scale) / 3 + 2 * scale + lane * Tx40Lane(scale);
}

void Tx50LineMerger::Add(PlotPoint column, bool lastColumn, std::vector<PlotSegment>* out) {
    if (!started_) {
        started_ = true;
        counter_ = 1;
        lastDrawn_ = lastSample_ = column;
        return;
    }
    ++counter_;
    if (column.y == lastDrawn_.y) {
        if (counter_ % 7 == 0 || lastColumn) {
            out->push_back({lastDrawn_, column});
            lastDrawn_ = column;
        }
    } else {
        if (counter_ > 7 && !(lastSample_ == lastDrawn_)) {
            out->push_back({lastDrawn_, lastSample_}); // the flat run
            lastDrawn_ = lastSample_;
        }
        counter_ = 0;
        out->push_back({lastDrawn_, column});
        lastDrawn_ = column;
    }
    lastSample_ = column;
}

void Tx40LineTracer::Add(PlotPoint column, bool lastColumn, std::vector<PlotSegment>* out) {
    if (!started_) {
        started_ = true;
        held_ = previous_ = column;
        return;
    }
    if (column.y != held_.y) {
        const PlotPoint flatEnd{previous_.x, held_.y};
        if (flatEnd.x > held_.x) out->push_back({held_, flatEnd});
        out->push_back({flatEnd, column});
        held_ = column;
    } else if (lastColumn && column.x > held_.x) {
        out->push_back({held_, column});
    }
    previous_ = column;
}

namespace {

struct Column {
    double x;
    AccelRecord* rec;
    int64_t position; // table entry, or record index for parking recordings
};

void AddBand(GraphPlan* plan, double x0, double x1) {
    if (!plan->band.empty() && x0 <= plan->band.back().second) {
        plan->band.back().second = std::max(plan->band.back().second, x1);
        return;
    }
    plan->band.emplace_back(x0, x1);
}

} // namespace

void PlanGraph(const GraphGeometry& g, std::span<AccelRecord* const> table,
               std::span<AccelRecord> records, const DetectorFlags& flags, GraphPlan* plan) {
    *plan = GraphPlan{};
    plan->left = LeftMargin(g.family, g.scale);
    plan->plotWidth = PlotWidth(g);
    plan->cursorX = CursorX(g);
    const bool tx50 = g.family == RecorderFamily::TX50;
    plan->bandHeight = kBandUnits * g.scale;
    plan->bandTop =
        tx50 ? Tx50PlotHeight(g.clientHeight, g.scale) : g.clientHeight - plan->bandHeight;
    if (g.clientWidth <= 0 || plan->plotWidth <= 0) return;

    const AccelRecord* begin = records.data();
    const AccelRecord* end = begin + records.size();
    auto inList = [&](const AccelRecord* r) { return r >= begin && r < end; };

    // The columns to draw, left to right.
    std::vector<Column> cols;
    double width = 1; // pixels a column covers
    if (!g.parking) {
        const int64_t n = std::min<int64_t>(g.entries, static_cast<int64_t>(table.size()));
        const ColumnMap m = MapColumns(plan->plotWidth, n, g.stretch, g.current);
        width = m.s;
        cols.reserve(
            static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(m.columns, 1 << 16))));
        for (int64_t c = 0; c < m.columns; ++c) {
            const int64_t e = m.Entry(c);
            if (e < 0 || e >= n) break;
            AccelRecord* rec = table[static_cast<size_t>(e)];
            if (!rec || !inList(rec)) break;
            cols.push_back({m.X(c, plan->left), rec, e});
        }
    } else if (!records.empty()) {
        const double r = static_cast<double>(records.size());
        const double p = plan->plotWidth / (r * 6);
        const double s = std::max(p, 1.0);
        int64_t currentRecord = 0;
        if (g.current >= 0 && static_cast<size_t>(g.current) < table.size()) {
            const AccelRecord* rec = table[static_cast<size_t>(g.current)];
            if (rec && inList(rec)) currentRecord = rec - begin;
        }
        const double offset = (1 - p / s) * static_cast<double>(currentRecord);
        width = 6 * p;
        for (auto i = static_cast<int64_t>(std::ceil(offset));
             i >= 0 && i < static_cast<int64_t>(records.size()); ++i) {
            const double x = plan->left + (static_cast<double>(i) - offset) * width;
            if (x >= g.clientWidth) break;
            cols.push_back({x, &records[static_cast<size_t>(i)], i});
        }
    }
    plan->columnsPlotted = static_cast<int>(cols.size());
    if (cols.empty()) return;

    // Axis lines.
    const VerticalScale vs =
        tx50 ? Tx50Scale(g.clientHeight, g.rangeIndex, g.scale) : Tx40Scale(g.scale);
    for (int axis = 0; axis < 3; ++axis) {
        if (!flags.drawing[static_cast<size_t>(axis)]) continue;
        const double zero =
            tx50 ? Tx50PlotHeight(g.clientHeight, g.scale) / 2 : Tx40ZeroLine(axis, g.scale);
        std::vector<PlotSegment>& out = plan->axes[static_cast<size_t>(axis)];
        Tx50LineMerger merger;
        Tx40LineTracer tracer;
        for (size_t i = 0; i < cols.size(); ++i) {
            const AccelRecord& rec = *cols[i].rec;
            double v = axis == 0 ? rec.gx : axis == 1 ? rec.gy : rec.gz;
            if (!tx50) v = QuantiseTx40(v);
            const PlotPoint pt{cols[i].x, zero - vs.Offset(v)};
            const bool last = i + 1 == cols.size();
            tx50 ? merger.Add(pt, last, &out) : tracer.Add(pt, last, &out);
        }
    }

    // Marks and the speeding band.
    FrameEvent found[2];
    for (const Column& col : cols) {
        const int n = g.parking ? EventsAtRecord(records, static_cast<size_t>(col.position),
                                                 flags.drawing, g.family, found)
                                : EventsAtFrame(table, static_cast<size_t>(col.position),
                                                flags.drawing, g.family, found);
        for (int i = 0; i < n; ++i)
            if (col.x >= plan->left)
                plan->marks[static_cast<size_t>(found[i].entry)].push_back(
                    {col.x, found[i].kind, col.rec->framePos});
        if (flags.drawing[kSpeedingEntry] && IsSpeeding(*col.rec, g.family))
            AddBand(plan, col.x, col.x + width);
    }
}

uint32_t MarkColour(int kind) {
    switch (kind) {
    case 0:
    case 1:
        return 0x00FF00;
    case 2:
        return 0xFF0000;
    case 3:
    case 4:
        return 0x8080FF;
    case 11:
        return 0xFFFF00;
    case 12:
        return 0xFF00FF;
    case 13:
        return 0x00FFFF;
    default:
        return 0xFFFFFF;
    }
}

uint32_t AxisColour(int axis) {
    return axis == 0 ? 0x00FF00 : axis == 1 ? 0xFF0000 : 0x8080FF;
}

const char* MarkGlyph(int kind) {
    switch (kind) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        return "G";
    case 5:
        return "M";
    case 6:
        return "\u203B"; // ※
    case 7:
        return "P";
    case 8:
        return "#";
    case 9:
        return "O";
    case 10:
        return "R";
    case 12:
        return "\u25B2"; // ▲
    case 13:
        return "\u25BC"; // ▼
    default:
        return "";
    }
}

} // namespace kinetta
