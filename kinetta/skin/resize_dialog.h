#pragma once
// CResizeDialog and CResizeFrameWindow: dialogs that move and resize themselves.
//
// Dialogs that move and resize themselves. A CResizeDialog has no system frame;
// it tests the pointer against its own rectangle (ResizeHitTest), moves with a
// drag on its caption region, and resizes with a drag on a border or corner while
// a CResizeFrameWindow shows the new rectangle as an outline. The size is kept as
// scale multipliers of the design size, saved as "SCALEX"/"SCALEY" ("%f") in the
// window's settings section after each resize.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <memory>

#include "kinetta/skin/skin_geometry.h"

namespace kinetta {

// The outline shown while a resize is dragged: a frame-only top-level window
// that takes no input.
class CResizeFrameWindow : public QWidget {
public:
    CResizeFrameWindow();
    // Shows the outline at rect (screen pixels).
    void ShowAt(const QRect& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

class CResizeDialog : public QDialog {
public:
    explicit CResizeDialog(QWidget* parent = nullptr);
    ~CResizeDialog() override;

    // The size at multipliers 1, in pixels (design units x S). It is also the
    // smallest size the window takes.
    void SetDesignSize(const QSize& pixels);
    QSize DesignSize() const { return design_; }

    // The settings section of the multipliers ("DISPLAY", "MAPDISPLAY", ...);
    // setting it reads "SCALEX"/"SCALEY" (a value not above 0 keeps 1). Empty:
    // the multipliers are neither read nor saved.
    void SetSettingsSection(const QString& section);
    QString SettingsSection() const { return section_; }

    ScaleMultipliers Multipliers() const { return multipliers_; }
    void SetMultipliers(ScaleMultipliers m) { multipliers_ = m; }
    // Writes the multipliers to the settings section with "%f".
    void SaveMultipliers() const;
    // Resizes the window to the design size times the multipliers.
    void ApplyMultipliers();

    // While on (a movie area in full screen), the whole window is client area.
    void SetFullScreenHitTest(bool on) { fullScreen_ = on; }
    bool FullScreenHitTest() const { return fullScreen_; }

    // Region of a screen point.
    HitRegion HitTest(const QPoint& globalPos) const;
    // Size of the monitor that holds the window.
    virtual QSize MonitorSize() const;

    CResizeFrameWindow* FrameWindow() const { return outline_.get(); }
    bool Pressed() const { return pressed_; }
    HitRegion PressedRegion() const { return pressRegion_; }

protected:
    // A double-click on the window; region is the region under the pointer.
    virtual void OnDoubleClickRegion(HitRegion region);
    // After a resize by the frame has been applied and saved.
    virtual void OnResizedByFrame() {}

    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    PixelRect WindowRect() const;
    PixelRect DraggedRect(const QPoint& globalPos) const;

    QSize design_;
    QString section_;
    ScaleMultipliers multipliers_;
    bool fullScreen_ = false;

    // Drag in progress (UI thread).
    bool pressed_ = false;
    HitRegion pressRegion_ = HitRegion::None;
    QPoint pressGlobal_;
    QPoint pressWindowPos_;
    QPoint lastStepGlobal_;
    bool stepped_ = false;
    QElapsedTimer stepTimer_;

    std::unique_ptr<CResizeFrameWindow> outline_;
};

} // namespace kinetta
