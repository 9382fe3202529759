#pragma once
// CFileListCtrl (with CFileListHeaderCtrl and CFileListDelegate): the recording list control.
//
// The recording list of the main window: a two-column model/view list of the
// rows the panel hands in ("ファイルNo." = DisplayName, "録画トリガー" = TriggerText),
// owner-drawn rows (event recordings on pale yellow, others on the dark list
// colour, every cell framed in grey) and an owner-drawn header whose clicks sort
// the list copy. Only the rows in view are painted, so a card of thousands of
// recordings scrolls and refills quickly.

#include <QAbstractTableModel>
#include <QColor>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <vector>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// Colours of the recording list (red, green, blue).
inline const QColor kListBackground{35, 24, 21};
inline const QColor kListEventBackground{255, 255, 204};
inline const QColor kListSelectedEventBackground{178, 178, 142};
inline const QColor kListSelectedBackground{178, 178, 178};
inline const QColor kListCellFrame{136, 136, 136};

// Column widths in design units.
inline constexpr int kListColumnNameWidth = 128;
inline constexpr int kListColumnTriggerWidth = 50;

// The rows of the list: a copy of the entries in display order with their
// column texts and event flag worked out once when the rows are set.
class RecordingListModel : public QAbstractTableModel {
public:
    // Whether the row's recording is an event recording (a bool).
    static constexpr int kEventRole = Qt::UserRole + 1;

    explicit RecordingListModel(QObject* parent = nullptr);

    void SetRows(std::vector<RecordingEntry> rows, RecorderFamily family);
    const std::vector<RecordingEntry>& Rows() const { return rows_; }
    RecorderFamily Family() const { return family_; }
    bool IsEvent(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct RowTexts {
        QString name;    // DisplayName of the displayed name
        QString trigger; // TriggerText of the displayed name
        bool event = false;
    };
    std::vector<RecordingEntry> rows_;
    std::vector<RowTexts> texts_; // one per row, same order
    RecorderFamily family_ = RecorderFamily::TX40;
};

// Draws one cell: background by event and selection state, black text on the
// light colours and white on the dark one, a 1-pixel grey frame.
class CFileListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The owner-drawn header of the list: dark sections with white captions. A click
// on a section is reported through QHeaderView::sectionClicked.
class CFileListHeaderCtrl : public QHeaderView {
public:
    explicit CFileListHeaderCtrl(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sizeHint() const override;
};

class CFileListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CFileListCtrl(QWidget* parent = nullptr);

    // Replaces the rows (the list copy) and clears the selection.
    void SetRows(std::vector<RecordingEntry> rows, RecorderFamily family);
    const std::vector<RecordingEntry>& Rows() const { return model_->Rows(); }
    int RowCount() const { return static_cast<int>(model_->Rows().size()); }
    RecordingListModel* Model() const { return model_; }
    CFileListHeaderCtrl* Header() const { return header_; }

    // The selected row, -1 for none.
    int SelectedRow() const;
    // Clears the old selection, selects and focuses row n and scrolls it into
    // view. An n outside the rows is ignored. Not reported through RowSelected.
    void SelectRow(int n);
    // What a click on header section column does: sorts the list copy by that
    // column (0: order of discovery, 1: known trigger) and selects row 0, which
    // is reported through RowSelected.
    void SortByColumn(int column);

    // Re-applies the display scale: fonts, row height, header and column widths.
    void Rescale();

signals:
    // The user selected a row (click, keyboard, or row 0 after a header sort).
    void RowSelected(int row);
    // The rows were re-ordered by a header click.
    void Sorted(int column);
    // The context menu was asked for over row `row`.
    void RowMenuRequested(int row);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnSelectionChanged();

    RecordingListModel* model_;
    CFileListHeaderCtrl* header_;
    bool selectingInternally_ = false; // SelectRow or SetRows is changing the selection
    int lastReported_ = -1;
};

} // namespace kinetta
