#pragma once
// CSkinSliderCtrl: the skinned slider (position and volume).
//
// The skin's horizontal slider (window class "movie slider"), drawn from four
// pictures: the track left of the thumb, the track right of it, the thumb and the
// thumb while dragging. It does not move its shown position by itself: it reports
// presses, drags and releases to its parent (UM_SLIDER_BEGIN / TRACK / END with
// wParam = control id, lParam = the value under the pointer), and the parent sets
// the position.

#include <QWidget>

#include <array>

namespace kinetta {

class CSkinSliderCtrl : public QWidget {
public:
    static constexpr const char* kClassName = "movie slider";

    // A child of parent, trunc(S x 10) high; the parent places it. pictures are
    // the ids of the left track, right track, thumb and dragged thumb.
    CSkinSliderCtrl(int controlId, QWidget* parent, const std::array<int, 4>& pictures,
                    bool interactive = true);

    void SetRange(int min, int max);
    // Sets the shown position and redraws at once.
    void SetPos(int position);
    void SetInteractive(bool on);

    int ControlId() const { return controlId_; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Pos() const { return position_; }
    int Tracked() const { return tracked_; }
    bool Dragging() const { return dragging_; }
    bool Interactive() const { return interactive_; }
    // Whether the last press hit the thumb (widened by trunc(10S) on both sides).
    bool PressHitThumb() const { return pressHitThumb_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Post(int message);

    int controlId_;
    std::array<int, 4> pictures_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int tracked_ = 0;
    bool dragging_ = false;
    bool interactive_;
    bool pressHitThumb_ = false;
};

} // namespace kinetta
