#pragma once
// CFolderTreeCtrl (with its delegate CFolderTreeDelegate): the folder tree control.
//
// The folder tree of the recording list panel: the date folders of a card or the
// subfolders of a folder source, as the scan inserted them. Every item is drawn
// by the program: the family's folder picture, one mark per trigger filter bit
// 0x02 .. 0x40 the folder's recordings carry, then the name; the selected item
// on RGB(0, 204, 255) with black text and a focus rectangle, the others on
// RGB(35, 24, 21) with white text.

#include <QColor>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <map>
#include <vector>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

inline const QColor kTreeBackground{35, 24, 21};
inline const QColor kTreeSelectedBackground{0, 204, 255};

// The filter bits that have a mark, in drawing order.
inline constexpr int kTreeMarkBits[] = {0x02, 0x04, 0x08, 0x10, 0x20, 0x40};

class CFolderTreeCtrl;

// Draws one item of the tree.
class CFolderTreeDelegate : public QStyledItemDelegate {
public:
    explicit CFolderTreeDelegate(CFolderTreeCtrl* tree);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    CFolderTreeCtrl* tree_;
};

class CFolderTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    // Data roles of an item: its index in Items() and its filter bits.
    static constexpr int kIndexRole = Qt::UserRole + 1;
    static constexpr int kBitsRole = Qt::UserRole + 2;

    explicit CFolderTreeCtrl(QWidget* parent = nullptr);

    // Replaces the items (parents before children, as the scan inserts them)
    // and shows every level expanded. Nothing is selected afterwards.
    void SetItems(const std::vector<TreeItem>& items, RecorderFamily family);
    const std::vector<TreeItem>& Items() const { return items_; }
    int ItemCount() const { return static_cast<int>(items_.size()); }
    RecorderFamily Family() const { return family_; }

    // The selected item's index in Items(), -1 for none.
    int SelectedItem() const;
    // Selects and shows item index; false when there is no such item. Not
    // reported through ItemSelected.
    bool SelectItem(int index);
    // The item shown below the selected one (the next folder), -1 for none.
    int NextItem() const;
    // The path label of an item: names from the top item down, joined with "\".
    QString PathText(int index) const;

    // The pictures at the current display scale: the family's folder picture
    // and the mark of one filter bit.
    const QPixmap& FolderPicture() const { return folder_; }
    const QPixmap& MarkPicture(int bit) const;

    // Re-applies the display scale: pictures, font and item height.
    void Rescale();

signals:
    // The user selected an item (index in Items()).
    void ItemSelected(int index);

private:
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    QTreeWidgetItem* ItemAt(int index) const;

    std::vector<TreeItem> items_;
    std::vector<QTreeWidgetItem*> widgets_; // widgets_[i] shows items_[i]
    RecorderFamily family_ = RecorderFamily::TX40;
    QPixmap folder_;
    std::map<int, QPixmap> marks_;
    bool selectingInternally_ = false; // SelectItem or SetItems is changing the selection
};

} // namespace kinetta
