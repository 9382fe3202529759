#pragma once
// CLogoDlg: the logo panel over the map window's contents.
//
// The logo panel (dialog 354): a picture that covers the map window's contents
// while the map cannot or should not be shown. Picture 1 is the plain logo,
// picture 0 the logo with the no-connection notice; both are drawn centred on
// black, keeping their shape. Visibility changes either at once or deferred:
// a deferred change is remembered and applied when the panel handles the
// UM_LOGO_REFRESH it posts to itself, so a burst of requests from one
// position update ends in the last one.

#include <QWidget>

namespace kinetta {

class CLogoDlg : public QWidget {
public:
    explicit CLogoDlg(QWidget* parent = nullptr);

    // Shows or hides the panel now (a deferred request on its way then
    // applies this choice).
    void ShowNow(bool visible);
    // Shows or hides it when UM_LOGO_REFRESH is handled.
    void ShowDeferred(bool visible);
    bool RefreshPending() const { return pending_; }

    // Chooses the picture (0 notice, 1 plain logo). Returns whether it changed;
    // a change repaints the panel at once.
    bool SetLogoPicture(int picture);
    int LogoPicture() const { return picture_; }
    // The skin picture shown for the current choice.
    int PictureId() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int picture_ = 1;
    bool pending_ = false;        // a UM_LOGO_REFRESH is on its way
    bool pendingVisible_ = false; // what it will apply
};

} // namespace kinetta
