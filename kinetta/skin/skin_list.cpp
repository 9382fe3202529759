#include "kinetta/skin/skin_list.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {
constexpr int kStateRole = Qt::UserRole + 0x51;
} // namespace

CSkinListCtrl::CSkinListCtrl(QWidget* parent, int controlId)
    : QTableWidget(parent), controlId_(controlId) {
    if (controlId) setObjectName(QString::number(controlId));
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    setShowGrid(false);
    setFont(SharedFont(kFont10));

    const int side = CheckBoxRect(SkinScale()).Width();
    const QPixmap strip = RenderSkinPicture(kPicCheckBox, QSize(side * kCheckFrameCount, side));
    SetStateImages({PictureFrame(strip, kCheckOff, kCheckFrameCount),
                    PictureFrame(strip, kCheckOffHover, kCheckFrameCount),
                    PictureFrame(strip, kCheckOn, kCheckFrameCount)});
    setIconSize(QSize(side, side));
}

void CSkinListCtrl::SetStateImages(std::vector<QPixmap> images) {
    images_ = std::move(images);
    for (int row = 0; row < rowCount(); ++row)
        SetStateImage(row, StateImage(row));
}

void CSkinListCtrl::SetStateImage(int row, int image) {
    if (row < 0 || row >= rowCount()) return;
    QTableWidgetItem* it = item(row, 0);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, 0, it);
    }
    it->setData(kStateRole, image);
    const size_t index = static_cast<size_t>(image - 1);
    it->setIcon(image >= 1 && index < images_.size() ? QIcon(images_[index]) : QIcon());
}

int CSkinListCtrl::StateImage(int row) const {
    const QTableWidgetItem* it = (row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    return it ? it->data(kStateRole).toInt() : 0;
}

void CSkinListCtrl::HoverTo(int row) {
    if (row == hoverRow_) return;
    if (hoverRow_ >= 0 && StateImage(hoverRow_) == 2) SetStateImage(hoverRow_, 1);
    hoverRow_ = -1;
    if (row >= 0 && StateImage(row) == 1) {
        SetStateImage(row, 2);
        hoverRow_ = row;
    }
}

void CSkinListCtrl::mouseMoveEvent(QMouseEvent* event) {
    HoverTo(rowAt(static_cast<int>(event->position().y())));
    QTableWidget::mouseMoveEvent(event);
}

bool CSkinListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) HoverTo(-1);
    return QTableWidget::viewportEvent(event);
}

void CSkinListCtrl::mousePressEvent(QMouseEvent* event) {
    const int row = rowAt(static_cast<int>(event->position().y()));
    QTableWidget::mousePressEvent(event);
    PostWindowMessage(parentWidget(), UM_SKINLIST_CLICK, 0, row);
}

} // namespace kinetta
