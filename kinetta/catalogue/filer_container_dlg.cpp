#include "kinetta/catalogue/filer_container_dlg.h"

#include <QResizeEvent>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/folder_tree_ctrl.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

// The panel's own arrangement, in design units (the main window gives the
// panel its rectangle; everything below is placed inside it).
constexpr int kMargin = 4;
constexpr int kPathHeight = 20;
constexpr int kTreeHeight = 150;
constexpr int kSwitchRowHeight = 20;
constexpr int kSwitchesPerRow = 3;
constexpr int kSwitchWidth = 32; // picture 660: frames of 32 x 16
constexpr int kSwitchHeight = 16;
constexpr int kSwitchLabelGap = 4;
constexpr int kCountHeight = 18;
constexpr int kGap = 4;

QString FromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* WhiteLabel(QWidget* parent, int font) {
    auto* label = new QLabel(parent);
    // Folder paths come from the card: never read as markup.
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    label->setPalette(pal);
    label->setFont(SharedFont(font));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

} // namespace

CFilerContainerDlg::CFilerContainerDlg(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSkinWindowColor);
    setPalette(pal);

    path_ = WhiteLabel(this, kFont9);
    path_->setObjectName(QStringLiteral("path"));
    tree_ = new CFolderTreeCtrl(this);
    for (int k = 0; k < kFilterCount; ++k) {
        const int id = kFirstFilterCommand + k;
        switches_[static_cast<size_t>(k)] =
            new CSkinButton(kPicFilterSwitch, QRect(0, 0, kSwitchWidth, kSwitchHeight), this, id);
        QLabel* label = WhiteLabel(this, kFont9);
        label->setObjectName(QStringLiteral("filter%1").arg(k));
        label->setText(FromUtf8(UiString(kStrTriggerContinuous + k)));
        labels_[static_cast<size_t>(k)] = label;
    }
    count_ = WhiteLabel(this, kFont10);
    count_->setObjectName(QStringLiteral("count"));
    count_->setText(QString::fromStdString(ItemCountText(0)));
    list_ = new CFileListCtrl(this);
    loadingText_ = WhiteLabel(list_->viewport(), kFont10);
    loadingText_->setObjectName(QStringLiteral("loading"));
    loadingText_->setAlignment(Qt::AlignCenter);
    loadingText_->setText(FromUtf8(UiString(kStrListLoading)));
    loadingText_->hide();

    connect(list_, &CFileListCtrl::RowSelected, this, &CFilerContainerDlg::RowSelected);
    connect(list_, &CFileListCtrl::Sorted, this, &CFilerContainerDlg::ListRebuilt);
    connect(list_, &CFileListCtrl::RowMenuRequested, this, &CFilerContainerDlg::RowMenuRequested);
    // Queued: the owner answers by opening the folder, which replaces the tree
    // and the list; that must not happen inside the tree's own click handling.
    connect(tree_, &CFolderTreeCtrl::ItemSelected, this, &CFilerContainerDlg::OnTreeItemSelected,
            Qt::QueuedConnection);
    UpdateFilterSwitches();
    LayOut();
}

const std::vector<RecordingEntry>& CFilerContainerDlg::Rows() const {
    return list_->Rows();
}

int CFilerContainerDlg::RowCount() const {
    return list_->RowCount();
}

int CFilerContainerDlg::SelectedRow() const {
    return list_->SelectedRow();
}

void CFilerContainerDlg::SelectRow(int n) {
    list_->SelectRow(n);
}

CSkinButton* CFilerContainerDlg::FilterSwitch(int code) const {
    return code >= 0 && code < kFilterCount ? switches_[static_cast<size_t>(code)] : nullptr;
}

QLabel* CFilerContainerDlg::FilterLabel(int code) const {
    return code >= 0 && code < kFilterCount ? labels_[static_cast<size_t>(code)] : nullptr;
}

void CFilerContainerDlg::SetScanResult(std::vector<RecordingEntry> scan, RecorderFamily family) {
    scan_ = std::move(scan);
    if (family != family_) {
        family_ = family;
        UpdateFilterSwitches();
    }
    SetLoading(false);
    Rebuild();
    list_->SelectRow(0);
    emit ListRebuilt();
}

void CFilerContainerDlg::ClearList() {
    scan_.clear();
    SetLoading(false);
    Rebuild();
    emit ListRebuilt();
}

void CFilerContainerDlg::SetPreview(std::vector<RecordingEntry> rows, RecorderFamily family) {
    scan_ = std::move(rows);
    if (family != family_) {
        family_ = family;
        UpdateFilterSwitches();
    }
    Rebuild();
    emit ListRebuilt();
}

void CFilerContainerDlg::SetLoading(bool loading) {
    loading_ = loading;
    list_->setEnabled(!loading);
    loadingText_->setGeometry(list_->viewport()->rect());
    loadingText_->setVisible(loading);
}

void CFilerContainerDlg::SetFolderTree(const std::vector<TreeItem>& items, RecorderFamily family) {
    tree_->SetItems(items, family);
    path_->clear();
}

void CFilerContainerDlg::ClearTree() {
    SetFolderTree({}, family_);
}

void CFilerContainerDlg::OnCommand(int id) {
    const int code = id - kFirstFilterCommand;
    if (code < 0 || code >= kFilterCount) return;
    filter_.on[code] = !filter_.on[code];
    UpdateFilterSwitches();
    Rebuild();
    emit ListRebuilt();
    if (RowCount() > 0 && !loading_) { // rows being read are not opened
        list_->SelectRow(0);
        emit RowSelected(0);
    }
}

void CFilerContainerDlg::Rebuild() {
    std::vector<RecordingEntry> rows = FilterRows(scan_, filter_, family_);
    const size_t n = rows.size();
    list_->SetRows(std::move(rows), family_);
    count_->setText(QString::fromStdString(ItemCountText(n)));
}

void CFilerContainerDlg::UpdateFilterSwitches() {
    // The TX40 family labels the switches of codes 0 .. 4, the TX50 family also
    // the speed-camera switch; the radar switch is never shown, but its command
    // still works when the owner routes it here.
    const int shown = ShownFilterSwitches(family_);
    for (int k = 0; k < kFilterCount; ++k) {
        const bool visible = k < shown;
        switches_[static_cast<size_t>(k)]->SetPressedLook(filter_.on[k]);
        switches_[static_cast<size_t>(k)]->setVisible(visible);
        labels_[static_cast<size_t>(k)]->setVisible(visible);
    }
    LayOut();
}

bool CFilerContainerDlg::SelectFolderItem(int index) {
    if (!tree_->SelectItem(index)) return false;
    path_->setText(tree_->PathText(index));
    return true;
}

int CFilerContainerDlg::SelectedFolderItem() const {
    return tree_->SelectedItem();
}

int CFilerContainerDlg::NextFolderItem() const {
    return tree_->NextItem();
}

void CFilerContainerDlg::OnTreeItemSelected(int index) {
    // A selection that was replaced before this arrived (a new tree, another
    // click) is no longer the user's choice.
    if (index < 0 || index != tree_->SelectedItem()) return;
    path_->setText(tree_->PathText(index));
    const std::vector<TreeItem>& items = tree_->Items();
    emit FolderSelected(index, QString::fromStdString(items[static_cast<size_t>(index)].path));
}

void CFilerContainerDlg::Rescale() {
    path_->setFont(SharedFont(kFont9));
    count_->setFont(SharedFont(kFont10));
    for (QLabel* label : labels_)
        label->setFont(SharedFont(kFont9));
    tree_->Rescale();
    list_->Rescale();
    LayOut();
}

void CFilerContainerDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CFilerContainerDlg::LayOut() {
    const double s = SkinScale();
    const int m = Scaled(s, kMargin);
    const int w = std::max(0, width() - 2 * m);
    int y = 0;
    path_->setGeometry(m, y, w, Scaled(s, kPathHeight));
    y += Scaled(s, kPathHeight);

    const int cell = w / kSwitchesPerRow;
    const int rowH = Scaled(s, kSwitchRowHeight);
    const int sw = Scaled(s, kSwitchWidth), sh = Scaled(s, kSwitchHeight);
    int shown = 0;
    for (const CSkinButton* button : switches_)
        if (button->isVisibleTo(this)) ++shown;
    const int switchRows = (shown + kSwitchesPerRow - 1) / kSwitchesPerRow;
    // The recordings matter more than the folders: in a short column (the
    // panorama layout leaves only the part below the movie area) the tree
    // gives up height, down to two rows, so the list keeps about two thirds
    // of what is left after the fixed rows.
    const int fixed = y + 2 * Scaled(s, kGap) + switchRows * rowH + Scaled(s, kCountHeight) + m;
    const int spare = std::max(0, height() - fixed);
    const int treeHeight =
        std::min(Scaled(s, kTreeHeight), std::max(Scaled(s, 2 * kSwitchRowHeight), spare / 3));
    tree_->setGeometry(m, y, w, treeHeight);
    y += treeHeight + Scaled(s, kGap);

    int slot = 0;
    for (int k = 0; k < kFilterCount; ++k) {
        CSkinButton* button = switches_[static_cast<size_t>(k)];
        QLabel* label = labels_[static_cast<size_t>(k)];
        if (!button->isVisibleTo(this)) continue;
        const int x = m + (slot % kSwitchesPerRow) * cell;
        const int top = y + (slot / kSwitchesPerRow) * rowH;
        button->SetPicture(kPicFilterSwitch, QRect(x, top + (rowH - sh) / 2, sw, sh));
        const int lx = x + sw + Scaled(s, kSwitchLabelGap);
        label->setGeometry(lx, top, std::max(0, x + cell - lx), rowH);
        ++slot;
    }
    y += switchRows * rowH + Scaled(s, kGap);

    count_->setGeometry(m, y, w, Scaled(s, kCountHeight));
    y += Scaled(s, kCountHeight);
    list_->setGeometry(m, y, w, std::max(0, height() - m - y));
    loadingText_->setGeometry(list_->viewport()->rect());
}

} // namespace kinetta
