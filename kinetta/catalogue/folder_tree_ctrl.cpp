#include "kinetta/catalogue/folder_tree_ctrl.h"

#include <QHeaderView>
#include <QPainter>

#include "kinetta/catalogue/file_selection.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

// Item height, gaps between the pictures and before the name, in design units.
constexpr int kItemHeight = 18;
constexpr int kPictureGap = 2;
constexpr int kTextGap = 4;

} // namespace

// ---- Delegate -------------------------------------------------------------

CFolderTreeDelegate::CFolderTreeDelegate(CFolderTreeCtrl* tree)
    : QStyledItemDelegate(tree), tree_(tree) {}

void CFolderTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const double s = SkinScale();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QRect r = option.rect;

    painter->save();
    painter->fillRect(r, selected ? kTreeSelectedBackground : kTreeBackground);

    int x = r.left() + Scaled(s, kPictureGap);
    const QPixmap& folder = tree_->FolderPicture();
    if (!folder.isNull()) {
        painter->drawPixmap(x, r.top() + (r.height() - folder.height()) / 2, folder);
        x += folder.width() + Scaled(s, kPictureGap);
    }
    const int bits = index.data(CFolderTreeCtrl::kBitsRole).toInt();
    for (int bit : kTreeMarkBits) {
        if (!(bits & bit)) continue;
        const QPixmap& mark = tree_->MarkPicture(bit);
        if (mark.isNull()) continue;
        painter->drawPixmap(x, r.top() + (r.height() - mark.height()) / 2, mark);
        x += mark.width() + Scaled(s, kPictureGap);
    }
    x += Scaled(s, kTextGap) - Scaled(s, kPictureGap);

    painter->setFont(option.font);
    painter->setPen(selected ? QColor(Qt::black) : QColor(Qt::white));
    const QString name = index.data(Qt::DisplayRole).toString();
    const QRect textRect(x, r.top(), std::max(0, r.right() + 1 - x), r.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    if (selected) {
        // The focus rectangle around the name, as the platform draws it.
        const int w =
            std::min(painter->fontMetrics().horizontalAdvance(name) + 2, textRect.width());
        QPen dots(Qt::black);
        dots.setStyle(Qt::DotLine);
        painter->setPen(dots);
        painter->drawRect(QRect(x - 1, r.top(), w, r.height() - 1));
    }
    painter->restore();
}

QSize CFolderTreeDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(Scaled(SkinScale(), kItemHeight));
    return size;
}

// ---- Tree -----------------------------------------------------------------

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setItemDelegate(new CFolderTreeDelegate(this));
    setFrameShape(QFrame::NoFrame);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, kTreeBackground);
    pal.setColor(QPalette::Window, kTreeBackground);
    pal.setColor(QPalette::Text, Qt::white);
    pal.setColor(QPalette::Highlight, kTreeSelectedBackground);
    pal.setColor(QPalette::HighlightedText, Qt::black);
    setPalette(pal);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnCurrentItemChanged(current); });
    Rescale();
}

void CFolderTreeCtrl::Rescale() {
    const double s = SkinScale();
    setFont(SharedFont(kFont10));
    folder_ = LoadSkinPicture(family_ == RecorderFamily::TX50 ? kPicFolderTx50 : kPicFolderTx40, s);
    marks_.clear();
    for (int bit : kTreeMarkBits)
        marks_[bit] = LoadSkinPicture(FolderMarkPicture(bit), s);
    setIndentation(Scaled(s, 14));
    doItemsLayout();
    viewport()->update();
}

const QPixmap& CFolderTreeCtrl::MarkPicture(int bit) const {
    static const QPixmap none;
    auto it = marks_.find(bit);
    return it == marks_.end() ? none : it->second;
}

void CFolderTreeCtrl::SetItems(const std::vector<TreeItem>& items, RecorderFamily family) {
    selectingInternally_ = true;
    clear();
    widgets_.clear();
    items_ = items;
    const bool familyChanged = family != family_;
    family_ = family;
    widgets_.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        const TreeItem& t = items_[i];
        // The scan inserts parents first; a parent index that does not point to
        // an earlier item puts the item at the top rather than losing it.
        QTreeWidgetItem* item = nullptr;
        if (t.parent >= 0 && static_cast<size_t>(t.parent) < i)
            item = new QTreeWidgetItem(widgets_[static_cast<size_t>(t.parent)]);
        else
            item = new QTreeWidgetItem(this);
        item->setText(0, QString::fromStdString(t.name));
        item->setData(0, kIndexRole, static_cast<int>(i));
        item->setData(0, kBitsRole, t.filterBits);
        widgets_.push_back(item);
    }
    expandAll();
    setCurrentItem(nullptr);
    clearSelection();
    selectingInternally_ = false;
    if (familyChanged) Rescale();
}

QTreeWidgetItem* CFolderTreeCtrl::ItemAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < widgets_.size()
               ? widgets_[static_cast<size_t>(index)]
               : nullptr;
}

int CFolderTreeCtrl::SelectedItem() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->data(0, kIndexRole).toInt();
}

bool CFolderTreeCtrl::SelectItem(int index) {
    QTreeWidgetItem* item = ItemAt(index);
    if (!item) return false;
    selectingInternally_ = true;
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
    selectingInternally_ = false;
    return true;
}

int CFolderTreeCtrl::NextItem() const {
    QTreeWidgetItem* item = ItemAt(SelectedItem());
    QTreeWidgetItem* below = item ? itemBelow(item) : nullptr;
    return below ? below->data(0, kIndexRole).toInt() : -1;
}

QString CFolderTreeCtrl::PathText(int index) const {
    return QString::fromStdString(FolderPathText(items_, index));
}

void CFolderTreeCtrl::OnCurrentItemChanged(QTreeWidgetItem* current) {
    if (selectingInternally_ || !current) return;
    emit ItemSelected(current->data(0, kIndexRole).toInt());
}

} // namespace kinetta
