#pragma once
// CSkinListCtrl: the skinned report list with state images.
//
// A report-style list whose rows carry a state image (1, 2, 3 ...): a row showing
// state image 1 shows state image 2 while the pointer is over it and goes back to
// 1 when the pointer leaves. A click posts UM_SKINLIST_CLICK to the parent with
// lParam = the clicked row (-1 for none).

#include <QPixmap>
#include <QTableWidget>

#include <vector>

namespace kinetta {

class CSkinListCtrl : public QTableWidget {
public:
    explicit CSkinListCtrl(QWidget* parent = nullptr, int controlId = 0);

    // The pictures of state images 1, 2, 3 ... (index 0 of the list is image 1).
    // By default the frames of the check strip: 1 unticked, 2 unticked under the
    // pointer, 3 ticked.
    void SetStateImages(std::vector<QPixmap> images);
    void SetStateImage(int row, int image);
    int StateImage(int row) const;
    int HoverRow() const { return hoverRow_; }
    int ControlId() const { return controlId_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void HoverTo(int row);

    int controlId_;
    int hoverRow_ = -1;
    std::vector<QPixmap> images_;
};

} // namespace kinetta
