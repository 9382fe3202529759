#pragma once
// Pointer arithmetic of a movie area: display-model cycling, drag steps handed
// to the engine, the 30-degree rule for inertia and the inertia decay.

#include "kinetta/base/recorder_family.h"

namespace kinetta {

// Display models of a movie area: 1 two-way split, 2 as recorded, 3 turnable
// dewarped view, 4 panorama.
int NextDisplayModel(OperatingMode mode, int current);

// Whether a model turns with the pointer (3 both axes, 4 horizontally).
bool ModelDrags(int model);

struct PixelDelta {
    int dx = 0, dy = 0;
};

// One pointer move: the delta from the previous position, each axis clamped
// to -100..100 pixels.
PixelDelta ClampedDelta(int x, int y, int prevX, int prevY);

struct ViewDrag {
    float dx = 0, dy = 0; // turn handed to the engine's DragView
};

// The engine's drag for one move: 60 / z / 360 / client size per pixel, only
// the axis with the larger absolute value kept; the panorama never moves
// vertically. z is the area's current zoom factor.
ViewDrag DragForMove(int model, PixelDelta delta, double zoom, int clientWidth, int clientHeight);

// Whether a release resumes the inertia: the pointer moved since the press and
// the whole drag points within 30 degrees of the last delta.
bool ResumesInertia(int pressX, int pressY, int releaseX, int releaseY, PixelDelta last);

// A release with a last delta of at most 3 pixels each way may be a click.
bool IsClickRelease(PixelDelta last);

// The inertia of one area after release, stepped every 30 ms.
class Inertia {
public:
    static constexpr int kPeriodMs = 30;
    Inertia(int model, PixelDelta last) : model_(model), delta_(last) {}

    // Whether the motion is still alive: |dx| > 3 or |dy| > 3.
    bool Moving() const;
    // One step: the delta decays by 1 % (truncating) and is added to the
    // offset; in the panorama the vertical part is dropped and the horizontal
    // offset halved. Returns the offset to hand to the engine.
    PixelDelta Step();
    PixelDelta Delta() const { return delta_; }
    PixelDelta Offset() const { return offset_; }

private:
    int model_;
    PixelDelta delta_;
    PixelDelta offset_;
};

} // namespace kinetta
