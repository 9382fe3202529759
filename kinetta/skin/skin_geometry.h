#pragma once
// Geometry of the skinned controls: every size, position and hit region that the
// controls derive from the display scale S, kept free of any window system so
// that it can be checked on its own. All sizes are pixels; "trunc" truncates
// toward zero (Scaled() of display_scale.h).

#include <optional>

namespace kinetta {

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// A rectangle with exclusive right and bottom edges.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(PixelPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    static PixelRect FromSize(int left, int top, int width, int height) {
        return {left, top, left + width, top + height};
    }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// ---- Scaled pictures -------------------------------------------------------

// Loaded size of a picture stored as w x h. A strip whose width is a multiple of
// its height keeps square frames: (w / h) x trunc(h x S) wide; any other picture
// is trunc((w + 1) x S) wide. The height is trunc(h x S) in both cases.
PixelSize ScaledPictureSize(int storedWidth, int storedHeight, double s);

// ---- Picture buttons and check buttons -------------------------------------

// Frames of a picture button's strip.
enum ButtonFrameIndex : int {
    kFrameNormal = 0,
    kFrameHover = 1,
    kFramePressed = 2,
    kFrameDisabled = 3,
};
inline constexpr int kButtonFrameCount = 4;

struct ButtonLook {
    bool enabled = true;
    bool down = false;        // the left button is down on it
    bool checked = false;     // a checkable button in its checked state
    bool pressedLook = false; // set by the owner or by a held press
    bool hover = false;       // the pointer is over it
    bool rebuilding = false;  // its frames are being rebuilt
};

// Frame to draw: disabled 3; pressed, checked or pressed look 2; hover 1 (not
// while the pressed look shows or the frames are rebuilt); otherwise 0.
int ButtonFrame(const ButtonLook& look);

// The box strip of a check button: 12 x 12 frames in this order.
enum CheckFrameIndex : int {
    kCheckOff = 0,
    kCheckOffHover = 1,
    kCheckOn = 2,
    kCheckOnHover = 3,
    kCheckOffDisabled = 4,
    kCheckOnDisabled = 5,
};
inline constexpr int kCheckFrameCount = 6;
int CheckBoxFrame(bool checked, bool hover, bool enabled);

// The box of a check button: trunc(12S) square at trunc(4S) from the top; the
// caption starts trunc(16S) right of the box's left edge.
PixelRect CheckBoxRect(double s);
int CheckCaptionX(double s);

// ---- Skinned dialog --------------------------------------------------------

// Height of the title strip: trunc(20S).
int TitleStripHeight(double s);
// Left edge of the caption text: trunc(21S) after an icon, trunc(5S) without.
int CaptionTextX(double s, bool hasIcon);
// Side of the icon in the title strip: trunc(20S).
int CaptionIconSize(double s);
// The close button: trunc(13S) x trunc(12S) at trunc(20S) from the right edge
// and trunc(4S) from the top of a client area clientWidth wide.
PixelRect CloseButtonRect(int clientWidth, double s);

// ---- Resize frame ----------------------------------------------------------

// Hit-test codes of the resize frame (the numbers are the platform's codes).
enum class HitRegion : int {
    None = 0,
    Client = 1,
    Caption = 2,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// Region of point p (screen pixels) in the window rectangle. Border b = trunc(4S).
// The tests run in the order top-left, top-right, top, bottom-left, bottom-right,
// left, right, bottom, caption (top trunc(28S) inside the side borders), bottom
// band (trunc(38S) + trunc(2S)), so a corner wins over the edges that meet in it.
// A window in full screen is client everywhere. Outside the window: None.
HitRegion ResizeHitTest(const PixelRect& window, PixelPoint p, double s, bool fullScreen);

// True for the eight border and corner regions.
bool IsSizingRegion(HitRegion region);

enum class ResizeCursor { Arrow, SizeWE, SizeNS, SizeNWSE, SizeNESW };
ResizeCursor CursorForRegion(HitRegion region);

// The rectangle a border or corner drag gives: the dragged edges move to the
// pointer, the opposite edges stay, and width and height are held between the
// design size and the monitor's size (the design size wins on a monitor smaller
// than it). Other regions return the start rectangle.
PixelRect ResizeDragRect(const PixelRect& start, HitRegion region, PixelPoint pointer,
                         PixelSize design, PixelSize monitor);

struct ScaleMultipliers {
    double x = 1.0;
    double y = 1.0;
};

// Multipliers of a window of that size: size / design size on each axis, at
// least 1 and at most monitor / design.
ScaleMultipliers MultipliersForSize(PixelSize size, PixelSize design, PixelSize monitor);

// Window size for multipliers: trunc(design x multiplier) on each axis, with
// multipliers at or below 1 counting as 1.
PixelSize SizeForMultipliers(PixelSize design, ScaleMultipliers m);

// ---- Slider ----------------------------------------------------------------

// The slider's values run from min to max; n = max - min + 1 values share the
// client width W. Positions count from min (every slider of the viewer has
// min 0).
struct SliderScale {
    int min = 0;
    int max = 0;
    int width = 0; // client width W in pixels
    long long Count() const { return static_cast<long long>(max) - min + 1; }
};

// Value under the pointer at x: trunc(x / (W / n)) from min, held to min..max.
// Nothing when W / n is not above 0.
std::optional<int> SliderValueAt(const SliderScale& sc, int x);

// A press or a drag counts only for -trunc(10S) < x < W + trunc(10S).
bool SliderAcceptsX(const SliderScale& sc, int x, double s);

// Where the played track (picture 0) ends: trunc(W x position / n).
int SliderSplitX(const SliderScale& sc, int position);

// The thumb: trunc((tw + 2) x S) wide and trunc(th x S) high at
// x = trunc(position x (W - trunc(tw x S)) / n), where tw x th is the thumb
// picture's stored size.
PixelRect SliderThumbRect(const SliderScale& sc, int position, PixelSize thumbStored, double s);

// Whether x hits the thumb widened by trunc(10S) on both sides.
bool SliderHitsThumb(const PixelRect& thumb, int x, double s);

// ---- Progress bar ----------------------------------------------------------

// Height of the bar: trunc(22S).
int ProgressBarHeight(double s);
// Width of the blue part: trunc(W x c), c = position / (max - min), c = 0 when
// max - min is below 1; c is held to 0..1 so the blue part never leaves the bar.
int ProgressFillWidth(int position, int min, int max, int width);
// The box the percentage text is centred in: W/2 - trunc(50S) .. W/2 + trunc(50S),
// the bar's full height.
PixelRect ProgressTextBox(int width, int height, double s);

// ---- Message box -----------------------------------------------------------

// Message box types and results.
enum MessageBoxType : int { kMbOk = 0, kMbOkCancel = 1, kMbYesNo = 4 };
enum MessageBoxResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

struct MessageBoxLayout {
    PixelSize box;    // the whole dialog
    PixelRect text;   // the text control
    PixelRect first;  // first button ("OK" or "はい")
    PixelRect second; // second button; empty for type 0
    bool hasSecond = false;
};

// Layout for a text that measures textSize with the dialog's font:
// width trunc(tw S) + 2 trunc(40S), height trunc(th S) + 2 trunc(30S) + trunc(60S)
// + trunc(20S); text at (trunc(40S), trunc(30S)); buttons trunc(100S) x trunc(30S),
// the last at trunc(15S) from the right and bottom edges, the first trunc(15S) to
// its left; type 0 shows only the first button, in the last one's place.
MessageBoxLayout LayoutMessageBox(PixelSize textSize, int type, double s);

// Result of the first (button 0) or second (button 1) button for a type.
int MessageBoxButtonResult(int type, int button);
// Escape counts as the second button: 2, or 7 for type 4 (also for type 0, which
// shows no second button).
int MessageBoxEscapeResult(int type);

// ---- Wait dialog -----------------------------------------------------------

// The marquee form's place and size: (trunc(800S), trunc(600S)),
// trunc(450S) x trunc(200S).
PixelRect WaitDialogMarqueeRect(double s);

} // namespace kinetta
