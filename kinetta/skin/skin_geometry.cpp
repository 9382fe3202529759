#include "kinetta/skin/skin_geometry.h"

#include <algorithm>
#include <cmath>

#include "kinetta/base/display_scale.h"

namespace kinetta {

PixelSize ScaledPictureSize(int storedWidth, int storedHeight, double s) {
    if (storedWidth <= 0 || storedHeight <= 0) return {};
    int h = Scaled(s, storedHeight);
    if (storedWidth % storedHeight == 0) return {storedWidth / storedHeight * h, h};
    return {Scaled(s, storedWidth + 1), h};
}

int ButtonFrame(const ButtonLook& look) {
    if (!look.enabled) return kFrameDisabled;
    if (look.down || look.checked || look.pressedLook) return kFramePressed;
    if (look.hover && !look.rebuilding) return kFrameHover;
    return kFrameNormal;
}

int CheckBoxFrame(bool checked, bool hover, bool enabled) {
    if (!enabled) return checked ? kCheckOnDisabled : kCheckOffDisabled;
    if (checked) return hover ? kCheckOnHover : kCheckOn;
    return hover ? kCheckOffHover : kCheckOff;
}

PixelRect CheckBoxRect(double s) {
    int side = Scaled(s, 12);
    return PixelRect::FromSize(0, Scaled(s, 4), side, side);
}

int CheckCaptionX(double s) {
    return Scaled(s, 16);
}

int TitleStripHeight(double s) {
    return Scaled(s, 20);
}

int CaptionTextX(double s, bool hasIcon) {
    return hasIcon ? Scaled(s, 21) : Scaled(s, 5);
}

int CaptionIconSize(double s) {
    return Scaled(s, 20);
}

PixelRect CloseButtonRect(int clientWidth, double s) {
    return PixelRect::FromSize(clientWidth - Scaled(s, 20), Scaled(s, 4), Scaled(s, 13),
                               Scaled(s, 12));
}

HitRegion ResizeHitTest(const PixelRect& w, PixelPoint p, double s, bool fullScreen) {
    if (!w.Contains(p)) return HitRegion::None;
    if (fullScreen) return HitRegion::Client;
    const int b = Scaled(s, 4);
    const bool top = p.y < w.top + b;
    const bool bottom = p.y >= w.bottom - b;
    const bool left = p.x < w.left + b;
    const bool right = p.x >= w.right - b;
    if (top && left) return HitRegion::TopLeft;
    if (top && right) return HitRegion::TopRight;
    if (top) return HitRegion::Top;
    if (bottom && left) return HitRegion::BottomLeft;
    if (bottom && right) return HitRegion::BottomRight;
    if (left) return HitRegion::Left;
    if (right) return HitRegion::Right;
    if (bottom) return HitRegion::Bottom;
    if (p.y < w.top + Scaled(s, 28)) return HitRegion::Caption;
    if (p.y >= w.bottom - (Scaled(s, 38) + Scaled(s, 2))) return HitRegion::Client;
    return HitRegion::None;
}

bool IsSizingRegion(HitRegion r) {
    switch (r) {
    case HitRegion::Left:
    case HitRegion::Right:
    case HitRegion::Top:
    case HitRegion::TopLeft:
    case HitRegion::TopRight:
    case HitRegion::Bottom:
    case HitRegion::BottomLeft:
    case HitRegion::BottomRight:
        return true;
    default:
        return false;
    }
}

ResizeCursor CursorForRegion(HitRegion r) {
    switch (r) {
    case HitRegion::Left:
    case HitRegion::Right:
        return ResizeCursor::SizeWE;
    case HitRegion::Top:
    case HitRegion::Bottom:
        return ResizeCursor::SizeNS;
    case HitRegion::TopLeft:
    case HitRegion::BottomRight:
        return ResizeCursor::SizeNWSE;
    case HitRegion::TopRight:
    case HitRegion::BottomLeft:
        return ResizeCursor::SizeNESW;
    default:
        return ResizeCursor::Arrow;
    }
}

namespace {

// Holds an extent between the design size and the monitor's size; the design
// size wins when the monitor is smaller than it.
int HoldExtent(int extent, int design, int monitor) {
    return std::max(design, std::min(extent, monitor));
}

} // namespace

PixelRect ResizeDragRect(const PixelRect& start, HitRegion region, PixelPoint p, PixelSize design,
                         PixelSize monitor) {
    if (!IsSizingRegion(region)) return start;
    const bool left = region == HitRegion::Left || region == HitRegion::TopLeft ||
                      region == HitRegion::BottomLeft;
    const bool right = region == HitRegion::Right || region == HitRegion::TopRight ||
                       region == HitRegion::BottomRight;
    const bool top =
        region == HitRegion::Top || region == HitRegion::TopLeft || region == HitRegion::TopRight;
    const bool bottom = region == HitRegion::Bottom || region == HitRegion::BottomLeft ||
                        region == HitRegion::BottomRight;
    PixelRect r = start;
    if (left) {
        int width = HoldExtent(r.right - p.x, design.width, monitor.width);
        r.left = r.right - width;
    } else if (right) {
        int width = HoldExtent(p.x - r.left, design.width, monitor.width);
        r.right = r.left + width;
    }
    if (top) {
        int height = HoldExtent(r.bottom - p.y, design.height, monitor.height);
        r.top = r.bottom - height;
    } else if (bottom) {
        int height = HoldExtent(p.y - r.top, design.height, monitor.height);
        r.bottom = r.top + height;
    }
    return r;
}

namespace {

double HoldMultiplier(int extent, int design, int monitor) {
    if (design <= 0) return 1.0;
    double v = static_cast<double>(extent) / design;
    double most = static_cast<double>(monitor) / design;
    return std::max(1.0, std::min(v, most));
}

} // namespace

ScaleMultipliers MultipliersForSize(PixelSize size, PixelSize design, PixelSize monitor) {
    return {HoldMultiplier(size.width, design.width, monitor.width),
            HoldMultiplier(size.height, design.height, monitor.height)};
}

PixelSize SizeForMultipliers(PixelSize design, ScaleMultipliers m) {
    double mx = m.x > 1.0 ? m.x : 1.0;
    double my = m.y > 1.0 ? m.y : 1.0;
    return {static_cast<int>(design.width * mx), static_cast<int>(design.height * my)};
}

std::optional<int> SliderValueAt(const SliderScale& sc, int x) {
    long long n = sc.Count();
    if (n <= 0) return std::nullopt;
    double step = static_cast<double>(sc.width) / static_cast<double>(n);
    if (!(step > 0.0)) return std::nullopt;
    double v = std::trunc(x / step) + sc.min;
    v = std::clamp(v, static_cast<double>(sc.min), static_cast<double>(sc.max));
    return static_cast<int>(v);
}

bool SliderAcceptsX(const SliderScale& sc, int x, double s) {
    int margin = Scaled(s, 10);
    return x > -margin && x < sc.width + margin;
}

int SliderSplitX(const SliderScale& sc, int position) {
    long long n = sc.Count();
    if (n <= 0) return 0;
    return static_cast<int>(static_cast<long long>(sc.width) * (position - sc.min) / n);
}

PixelRect SliderThumbRect(const SliderScale& sc, int position, PixelSize thumbStored, double s) {
    long long n = sc.Count();
    int x = 0;
    if (n > 0) {
        long long travel = sc.width - Scaled(s, thumbStored.width);
        x = static_cast<int>((static_cast<long long>(position) - sc.min) * travel / n);
    }
    return PixelRect::FromSize(x, 0, Scaled(s, thumbStored.width + 2),
                               Scaled(s, thumbStored.height));
}

bool SliderHitsThumb(const PixelRect& thumb, int x, double s) {
    int widen = Scaled(s, 10);
    return x >= thumb.left - widen && x < thumb.right + widen;
}

int ProgressBarHeight(double s) {
    return Scaled(s, 22);
}

int ProgressFillWidth(int position, int min, int max, int width) {
    long long range = static_cast<long long>(max) - min;
    if (range < 1 || width <= 0) return 0;
    double c = std::clamp(static_cast<double>(position) / static_cast<double>(range), 0.0, 1.0);
    return static_cast<int>(width * c);
}

PixelRect ProgressTextBox(int width, int height, double s) {
    int half = Scaled(s, 50);
    return {width / 2 - half, 0, width / 2 + half, height};
}

MessageBoxLayout LayoutMessageBox(PixelSize textSize, int type, double s) {
    MessageBoxLayout l;
    const int tw = Scaled(s, textSize.width);
    const int th = Scaled(s, textSize.height);
    l.box.width = tw + 2 * Scaled(s, 40);
    l.box.height = th + 2 * Scaled(s, 30) + Scaled(s, 60) + Scaled(s, 20);
    l.text = PixelRect::FromSize(Scaled(s, 40), Scaled(s, 30), tw, th);
    const int bw = Scaled(s, 100), bh = Scaled(s, 30), gap = Scaled(s, 15);
    PixelRect last = PixelRect::FromSize(l.box.width - gap - bw, l.box.height - gap - bh, bw, bh);
    if (type == kMbOk) {
        l.first = last;
        l.hasSecond = false;
    } else {
        l.second = last;
        l.first = PixelRect::FromSize(last.left - gap - bw, last.top, bw, bh);
        l.hasSecond = true;
    }
    return l;
}

int MessageBoxButtonResult(int type, int button) {
    if (type == kMbYesNo) return button == 0 ? kIdYes : kIdNo;
    return button == 0 ? kIdOk : kIdCancel;
}

int MessageBoxEscapeResult(int type) {
    return MessageBoxButtonResult(type, 1);
}

PixelRect WaitDialogMarqueeRect(double s) {
    return PixelRect::FromSize(Scaled(s, 800), Scaled(s, 600), Scaled(s, 450), Scaled(s, 200));
}

} // namespace kinetta
