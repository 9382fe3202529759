#pragma once
// CSkinDialog: the base of the skinned dialogs.
//
// A dialog in the skin: no system caption bar or frame, a grey title strip
// (trunc(20S) high) with the window's icon and caption, and a small close button
// (control 27) trunc(20S) from the right edge. It moves and resizes through
// CResizeDialog and handles the commands of its controls in OnCommand.

#include <QColor>

#include "kinetta/skin/command_target.h"
#include "kinetta/skin/resize_dialog.h"

namespace kinetta {

class CSkinButton;

class CSkinDialog : public CResizeDialog, public CommandTarget {
public:
    explicit CSkinDialog(QWidget* parent = nullptr);

    // Commands of the controls. The default ends the dialog: 1 accepts, 2 and the
    // close button (27) reject.
    void OnCommand(int id) override;

    CSkinButton* CloseButton() const { return close_; }
    // Colour of the client area below the title strip.
    void SetBackground(const QColor& colour);
    QColor Background() const { return background_; }

    // Re-applies the display scale: the close button's size and picture.
    virtual void Rescale();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Draws the title strip; subclasses that paint their own client area call it.
    void PaintTitleStrip(QPainter& painter);

private:
    void PlaceCloseButton();

    CSkinButton* close_ = nullptr;
    QColor background_;
};

} // namespace kinetta
