#pragma once
// What the acceleration graph draws for one position, as pixel geometry: the
// axis lines, the event marks, the speeding band, the cursor and the range
// labels. The window (CGSensorDlg) and `kinetta-cli graph` paint this plan;
// it is computed here without a window.
//
// Units: every design size k is k x S pixels (S the display scale); client
// sizes and x, y are pixels of the graph's client area, y down.
//
// Horizontal mapping: plot width W = client width - left margin (TX50 family:
// one unit less). Pixels per entry p = W / (N x r), N the per-frame table's
// entries and r the stretch ratio; step s = max(p, 1). Column c (c < W / s)
// shows entry floor(c + (1 - p / s) x current) at x = left margin + c x s: a
// long recording (p < 1) shows one entry per pixel in a window that moves
// with the position, a short one is stretched over the width.
// Parking recordings are plotted by record index: p = W / (R x 6), R the
// number of records, and record i stands at x = left margin + (i - offset) x
// 6p with offset = (1 - p / s) x the record index at the current entry.
//
// Vertical mapping: values beyond +-2 G count as +-2 G; pixels per G =
// 0.8 x (h - 6 units) / n; the offset (truncated to whole pixels) stays
// 3 units inside its lane (TX40 family: three lanes of 2H/3 - 1 unit, H half
// the 70-unit background, zero lines at H/3 + 2 units and one and two lanes
// below; values first cut to 0.1 G steps towards zero; n = 1) or plot half
// (TX50 family: plot height h = client height - 21.5 units, zero line at h/2,
// n = range index + 1).

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kinetta/telemetry/detectors.h"

namespace kinetta {

// Geometry state the main window sets when a recording opens or the window
// is resized, and the position it sets every 100 ms.
struct GraphGeometry {
    playcore::RecorderFamily family = playcore::RecorderFamily::TX40;
    double scale = 1.0; // display scale S
    int clientWidth = 0, clientHeight = 0;
    int64_t entries = 0; // per-frame table entries N
    int64_t current = 0; // current entry index (the playback position in frames)
    int rangeIndex = 0;  // 0..3, TX50 family
    bool parking = false;
    double stretch = 1.0; // r: pair length / length of the telemetry's movie
};

// trunc(units x S).
int DesignPixels(double units, double scale);
// 52 units (TX40 family) or 41 units (TX50 family).
int LeftMargin(playcore::RecorderFamily family, double scale);
// Client width - left margin (TX50 family: - 1 unit); 0 or more.
int PlotWidth(const GraphGeometry& g);
// left margin + current x (W / N); the left margin when N is 0.
int CursorX(const GraphGeometry& g);

// The column walk of the horizontal mapping.
struct ColumnMap {
    double p = 0;        // pixels per entry
    double s = 1;        // step, at least 1
    double shift = 0;    // (1 - p / s) x current
    int64_t columns = 0; // columns c with c < W / s
    int64_t Entry(int64_t c) const;
    double X(int64_t c, int left) const { return left + static_cast<double>(c) * s; }
};
ColumnMap MapColumns(int plotWidth, int64_t entries, double stretch, int64_t current);

// Range index from the reader's largest |acceleration|: >= 1.5 G gives 3,
// >= 1.0 G 2, >= 0.5 G 1, else 0.
int RangeIndexFor(double maxAccel);
// Positive and negative range labels: 0 " 0.5G" / "-0.5G", 1 "   1G" / "  -1G",
// 2 " 1.5G" / "-1.5G", 3 "   2G" / "  -2G", anything else as 1.
struct RangeLabels {
    const char* positive;
    const char* negative;
};
RangeLabels RangeLabelsFor(int rangeIndex);
inline constexpr const char* kZeroLabel = "   0G";

// +-2 G clamp.
double ClampG(double g);
// TX40 family: magnitude x 10, rounded down, / 10, sign kept.
double QuantiseTx40(double g);

// The vertical scale of one lane or plot half.
struct VerticalScale {
    double pixelsPerG = 0;
    double limit = 0; // largest |offset| in pixels
    // The pixel offset of g (up positive), truncated, within +-limit.
    int Offset(double g) const;
};
VerticalScale Tx50Scale(int clientHeight, int rangeIndex, double scale);
VerticalScale Tx40Scale(double scale);
// Zero lines: TX50 plot height / 2; TX40 lane k (0 X, 1 Y, 2 Z).
double Tx50PlotHeight(int clientHeight, double scale);
double Tx40ZeroLine(int lane, double scale);

struct PlotPoint {
    double x = 0, y = 0;
    bool operator==(const PlotPoint&) const = default;
};
struct PlotSegment {
    PlotPoint a, b;
};

// The TX50 family's line merging for one axis: columns with the same offset
// are joined into one segment of up to seven columns; a change after a longer
// flat run first draws the flat run, then the step. y is the offset in
// pixels (up positive); the caller maps it to the window.
class Tx50LineMerger {
public:
    void Add(PlotPoint column, bool lastColumn, std::vector<PlotSegment>* out);

private:
    bool started_ = false;
    int counter_ = 0;
    PlotPoint lastDrawn_, lastSample_;
};

// The TX40 family's lines for one axis: a segment only where the quantised
// offset changes; the held level is drawn flat up to the column before the
// change and, at the last column, to the end.
class Tx40LineTracer {
public:
    void Add(PlotPoint column, bool lastColumn, std::vector<PlotSegment>* out);

private:
    bool started_ = false;
    PlotPoint held_, previous_;
};

// One event mark: a full-height line in the kind's colour and its glyph.
struct GraphMark {
    double x = 0;
    int kind = -1;
    int64_t frame = 0; // the framePos of the event's record (its place in the event list)
};

struct GraphPlan {
    int left = 0;      // left margin
    int plotWidth = 0; // W
    // Axis lines in window pixels: 0 X (gx), 1 Y (gy), 2 Z (gz); empty for
    // an axis whose drawing flag is off.
    std::array<std::vector<PlotSegment>, 3> axes;
    // The mark store: one list per detector entry, drawn after the lines.
    std::array<std::vector<GraphMark>, kDetectorCount> marks;
    // Speeding band: [x0, x1) ranges over the columns of speeding records.
    std::vector<std::pair<double, double>> band;
    double bandTop = 0, bandHeight = 0;
    int cursorX = 0;
    int columnsPlotted = 0;
};

// The plan for geometry g over the per-frame table (pointing into records).
// Marks matched records (detectors.h); the caller holds the telemetry lock.
// Missing records, an empty table or an entry beyond the table end stop the
// walk at that column; a record outside `records` ends it.
void PlanGraph(const GraphGeometry& g, std::span<playcore::AccelRecord* const> table,
               std::span<playcore::AccelRecord> records, const DetectorFlags& flags,
               GraphPlan* plan);

// Mark colour of an event kind as 0xRRGGBB: 0, 1 green; 2 red; 3, 4 light
// blue; 5..10 white; 11 yellow; 12 magenta; 13 cyan.
uint32_t MarkColour(int kind);
// Axis pen colours: X green, Y red, Z light blue.
uint32_t AxisColour(int axis);
// Glyph of an event kind in UTF-8: "G" 0..4, "M" 5, "※" 6, "P" 7, "#" 8,
// "O" 9, "R" 10, "" for 11 (the star picture), "▲" 12, "▼" 13.
const char* MarkGlyph(int kind);
inline constexpr uint32_t kBandColour = 0xAA0000; // drawn at 50 % over the graph
inline constexpr double kBandUnits = 24.0;
inline constexpr double kBandStripUnits = 21.5; // TX50 family's bottom strip

} // namespace kinetta
