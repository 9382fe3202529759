#include "kinetta/shell/main_layout.h"

#include "kinetta/base/display_scale.h"

namespace kinetta {

MainLayout ComputeMainLayout(const MainLayoutInput& in) {
    const double s = in.s;
    auto t = [s](double k) { return Scaled(s, k); };
    const int trS = static_cast<int>(s);
    const int W = in.clientWidth, H = in.clientHeight;

    MainLayout L;
    L.innerWidth = W - 2 * t(8);
    L.movieWidth = L.innerWidth - t(375);
    L.innerHeight = H - t(10) - t(38) - t(28);
    L.movieHeight = L.innerHeight - t(98) - t(120);

    const Rect R{t(8), t(28), L.movieWidth, L.movieHeight};
    L.movie = R;
    L.positionSlider = {R.left, R.bottom(), R.width, t(10)};
    L.infoPanel = {R.left, R.bottom() + t(10), R.width - t(120) - t(20), t(120)};
    L.controller = {R.right() - t(120) - t(20), R.bottom() + t(10), t(120) + t(20), t(120)};
    L.graph = {R.left, R.bottom() + t(10) + t(120), R.width,
               H - t(38) - t(10) - t(4) - t(120) - R.bottom() - 1};
    const int listTop = in.panorama ? R.bottom() : R.top - trS;
    L.listColumn = {R.right(), listTop, trS + t(375), H - t(4) - t(38) - listTop};
    L.volumeSlider = {W - t(120), H - t(5) - (t(38) + t(12)) / 2, t(100), t(20)};
    L.progressBar = {0, H - t(22), W, t(22)};

    const int captionLeft = W - t(8) - t(46) - t(4);
    L.minimiseButton = {captionLeft - 2 * t(26), 0, t(26), t(18)};
    L.maximiseButton = {captionLeft - t(26), 0, t(26), t(18)};
    L.closeButton = {captionLeft, 0, t(46), t(18)};

    // Toolbar: 38000.. in one row; from 38014 ("参照") on a second group.
    const int e = t(32);
    const int top = H - (t(32) + t(38)) / 2;
    const int lastIndex = in.mode == OperatingMode::Full ? 17 : 18;
    int shown = 0;
    for (int i = 0; i <= lastIndex; ++i) {
        if (i == 8 && in.family == RecorderFamily::TX50) continue; // no split-save button
        int gap = i >= 14 ? t(32) - t(2) : 0;
        L.toolbar.push_back({38000 + i, {t(20) + shown * (t(32) + t(11)) + gap, top, e, e}});
        ++shown;
    }
    return L;
}

FloatingPlaces DefaultFloatingPlaces(const MainLayout& layout, double s, bool panorama) {
    auto t = [s](double k) { return Scaled(s, k); };
    const int trS = static_cast<int>(s);
    const Rect& R = layout.movie;
    const Rect& list = layout.listColumn;
    FloatingPlaces p;
    p.map = {R.right(), panorama ? R.top : list.top, t(375),
             t(4) - (t(375) - t(1100) + 2 * t(8)) * 9 / 16 + t(20) - trS};
    p.secondMovie = {R.right(), list.bottom() - t(4) - (t(375) - 2 * t(4)) * 9 / 16 - t(20), t(375),
                     t(20) + t(4) + (9 * t(375) - 18 * t(4)) / 16};
    return p;
}

} // namespace kinetta
