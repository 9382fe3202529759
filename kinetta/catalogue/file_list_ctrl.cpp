#include "kinetta/catalogue/file_list_ctrl.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QPainter>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/file_selection.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

namespace {

// Row and header heights and the text inset, in design units.
constexpr int kRowHeight = 18;
constexpr int kHeaderHeight = 20;
constexpr int kTextInset = 4;

const QColor kHeaderBackground{0x50, 0x50, 0x50};

QString FromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

// ---- Model ----------------------------------------------------------------

RecordingListModel::RecordingListModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordingListModel::SetRows(std::vector<RecordingEntry> rows, RecorderFamily family) {
    beginResetModel();
    rows_ = std::move(rows);
    family_ = family;
    texts_.clear();
    texts_.reserve(rows_.size());
    for (const RecordingEntry& e : rows_) {
        const std::string& name = e.DisplayedName();
        texts_.push_back({FromUtf8(DisplayName(name)), FromUtf8(TriggerText(name, family)),
                          IsEventRecording(name, family)});
    }
    endResetModel();
}

bool RecordingListModel::IsEvent(int row) const {
    return row >= 0 && static_cast<size_t>(row) < texts_.size() &&
           texts_[static_cast<size_t>(row)].event;
}

int RecordingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordingListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant RecordingListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= texts_.size())
        return {};
    const RowTexts& t = texts_[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? t.name : t.trigger;
    case kEventRole:
        return t.event;
    default:
        return {};
    }
}

QVariant RecordingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 0) return FromUtf8(UiString(kStrColumnFileNo));
    if (section == 1) return FromUtf8(UiString(kStrColumnTrigger));
    return {};
}

// ---- Delegate -------------------------------------------------------------

void CFileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool event = index.data(RecordingListModel::kEventRole).toBool();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    QColor background = event ? kListEventBackground : kListBackground;
    if (selected) background = event ? kListSelectedEventBackground : kListSelectedBackground;
    const QColor text = (event || selected) ? QColor(Qt::black) : QColor(Qt::white);

    painter->save();
    painter->fillRect(option.rect, background);
    painter->setPen(kListCellFrame);
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    painter->setPen(text);
    painter->setFont(option.font);
    const int inset = Scaled(SkinScale(), kTextInset);
    painter->drawText(option.rect.adjusted(inset, 0, -1, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize CFileListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {0, Scaled(SkinScale(), kRowHeight)};
}

// ---- Header ---------------------------------------------------------------

CFileListHeaderCtrl::CFileListHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Fixed);
}

void CFileListHeaderCtrl::paintSection(QPainter* painter, const QRect& rect,
                                       int logicalIndex) const {
    painter->save();
    painter->fillRect(rect, kHeaderBackground);
    painter->setPen(kListCellFrame);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setPen(kSkinTextColor);
    painter->setFont(font());
    const int inset = Scaled(SkinScale(), kTextInset);
    const QString caption =
        model() ? model()->headerData(logicalIndex, Qt::Horizontal, Qt::DisplayRole).toString()
                : QString();
    painter->drawText(rect.adjusted(inset, 0, -1, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    painter->restore();
}

QSize CFileListHeaderCtrl::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setHeight(Scaled(SkinScale(), kHeaderHeight));
    return s;
}

// ---- List -----------------------------------------------------------------

void CFileListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    const int row = indexAt(event->pos()).row();
    if (row < 0 || row >= RowCount()) return;
    event->accept();
    emit RowMenuRequested(row);
}

CFileListCtrl::CFileListCtrl(QWidget* parent)
    : QTableView(parent), model_(new RecordingListModel(this)),
      header_(new CFileListHeaderCtrl(this)) {
    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(new CFileListDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false); // the header's clicks sort the list copy (SortByColumn)
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Uniform row heights: the view then lays out thousands of rows without
    // asking each one for its size.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setFrameShape(QFrame::NoFrame);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, kListBackground);
    pal.setColor(QPalette::Window, kListBackground);
    pal.setColor(QPalette::Text, Qt::white);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);

    connect(header_, &QHeaderView::sectionClicked, this, &CFileListCtrl::SortByColumn);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CFileListCtrl::OnSelectionChanged);
    Rescale();
}

void CFileListCtrl::Rescale() {
    const double s = SkinScale();
    setFont(SharedFont(kFont10));
    header_->setFont(SharedFont(kFont10));
    header_->setFixedHeight(Scaled(s, kHeaderHeight));
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(Scaled(s, kRowHeight));
    header_->resizeSection(0, Scaled(s, kListColumnNameWidth));
    header_->resizeSection(1, Scaled(s, kListColumnTriggerWidth));
}

void CFileListCtrl::SetRows(std::vector<RecordingEntry> rows, RecorderFamily family) {
    selectingInternally_ = true;
    model_->SetRows(std::move(rows), family);
    selectingInternally_ = false;
    // A model reset drops the section sizes of the header; set them again.
    const double s = SkinScale();
    header_->resizeSection(0, Scaled(s, kListColumnNameWidth));
    header_->resizeSection(1, Scaled(s, kListColumnTriggerWidth));
}

int CFileListCtrl::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CFileListCtrl::SelectRow(int n) {
    if (n < 0 || n >= RowCount()) return;
    selectingInternally_ = true;
    const QModelIndex index = model_->index(n, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index);
    selectingInternally_ = false;
}

void CFileListCtrl::SortByColumn(int column) {
    if (column != 0 && column != 1) return;
    std::vector<RecordingEntry> rows = model_->Rows();
    SortRowsByColumn(rows, column);
    SetRows(std::move(rows), model_->Family());
    emit Sorted(column);
    if (RowCount() > 0) {
        SelectRow(0);
        emit RowSelected(0);
    }
}

void CFileListCtrl::OnSelectionChanged() {
    if (selectingInternally_) return;
    const int row = SelectedRow();
    if (row >= 0) emit RowSelected(row);
}

} // namespace kinetta
