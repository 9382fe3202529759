#pragma once
// CSkinButton and CSkinCheckButton: the skin's picture buttons.
//
// Picture buttons of the skin. A CSkinButton draws one of four frames of a
// picture strip (normal, hover, pressed, disabled), each the size of the button;
// a CSkinCheckButton draws a 12 x 12 box from the check strip with its caption
// to the right. A click reports the control id to the parent (CommandTarget).

#include <QAbstractButton>
#include <QPixmap>
#include <QRect>

namespace kinetta {

class CSkinButton : public QAbstractButton {
public:
    // A button of rect's size at rect's place in parent, showing picture pictureId
    // split into frames of that size. With reportHold the button posts
    // UM_BUTTON_HELD and UM_BUTTON_RELEASED (lParam = controlId) to its parent.
    CSkinButton(int pictureId, const QRect& rect, QWidget* parent, int controlId,
                bool reportHold = false);

    // Rebuilds the frames from pictureId at rect's size and moves the button
    // there. No hover frame is drawn while this runs.
    void SetPicture(int pictureId, const QRect& rect);
    int PictureId() const { return pictureId_; }

    // The pressed look (frame 2) set by the owner, for example a toggled tool.
    void SetPressedLook(bool on);
    bool PressedLook() const { return pressedLook_; }

    int ControlId() const { return controlId_; }
    // The frame the button draws now (see ButtonFrame).
    int CurrentFrame() const;
    bool Hovered() const { return hover_; }

    QSize sizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void RebuildFrames();

    int pictureId_;
    int controlId_;
    bool reportHold_;
    bool held_ = false; // a reported hold is in progress
    bool pressedLook_ = false;
    bool hover_ = false;
    bool rebuilding_ = false;
    QPixmap strip_; // four frames of the button's size side by side
};

class CSkinCheckButton : public QAbstractButton {
public:
    // A visible check box at rect in parent with caption, its box drawn from the
    // 12 x 12 frames of pictureId.
    CSkinCheckButton(int pictureId, const QString& caption, const QRect& rect, QWidget* parent,
                     int controlId);

    int ControlId() const { return controlId_; }
    int CurrentFrame() const;
    // Re-renders the box for the current display scale.
    void Rescale();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int pictureId_;
    int controlId_;
    bool hoverBox_ = false;
    QPixmap strip_;
};

} // namespace kinetta
