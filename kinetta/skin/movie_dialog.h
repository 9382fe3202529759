#pragma once
// CMovieDialog: the floating frame of the map window and of the second movie window.
//
// The floating window used twice: as the map window ("MAPDISPLAY", caption
// "マップ") and as the second movie window ("MOVIEDISPLAY", caption
// "リヤカメラ"). It has no system caption bar or frame: a grey frame, the
// caption in the title strip and a small close button (picture 375). It sizes
// itself only through its scale multipliers "SCALEX"/"SCALEY" (restored at
// creation, changed and saved by the resize frame) and tells its owner about
// every change by posted messages:
//   UM_WINDOW_SIZED   after every size change     (lParam = this window)
//   UM_WINDOW_PAINTED after every paint           (lParam = this window)
//   UM_WINDOW_RESET   double-click on the title strip (lParam = this window)
//   UM_RELAYOUT       left button released in the window

#include <QPointer>
#include <QRect>

#include <functional>

#include "kinetta/skin/command_target.h"
#include "kinetta/skin/resize_dialog.h"

namespace kinetta {

class CSkinButton;

enum class FloatingKind { Map, SecondMovie };

// Default (design) size of a floating window at scale s: the map window
// t(375) x (t(4) - (t(375) - t(1100) + 2 t(8)) x 9 / 16 + t(20) - trunc(s)),
// the second movie window t(375) x (t(20) + t(4) + (9 t(375) - 18 t(4)) / 16);
// 375 x 421 and 375 x 230 at s = 1.
QSize FloatingDesignSize(FloatingKind kind, double s);

class CMovieDialog : public CResizeDialog, public CommandTarget {
public:
    // A top-level window (owned by the desktop) that reports to owner. It is
    // created hidden, sized by the multipliers of its settings section.
    CMovieDialog(FloatingKind kind, QObject* owner);

    FloatingKind Kind() const { return kind_; }
    // "MAPDISPLAY" or "MOVIEDISPLAY".
    static QString SectionFor(FloatingKind kind);

    // The content rectangle: the client area less a border of t(4) on the
    // left, right and bottom and the title strip of t(20).
    QRect InnerRect() const;

    // Puts the window at rect (screen pixels), takes its multipliers from the
    // new size, saves them, shows it and brings it to the top.
    void PutAtDefaultPlace(const QRect& rect);

    // Opacity of the map window: 0 (transparent, while hidden behind the
    // scenes) to 255 (opaque).
    void SetLayeredAlpha(int alpha);

    // What the close button does; the default hides the window.
    void SetCloseAction(std::function<void()> action) { closeAction_ = std::move(action); }
    void OnCommand(int id) override;

    // Re-applies the display scale: design size, size and close button.
    void Rescale();

    CSkinButton* CloseButton() const { return close_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void OnDoubleClickRegion(HitRegion region) override;

private:
    void Notify(int message);
    void PlaceCloseButton();

    FloatingKind kind_;
    QPointer<QObject> owner_;
    CSkinButton* close_ = nullptr;
    std::function<void()> closeAction_;
};

} // namespace kinetta
