#pragma once
// The recording list panel of the main window (CFilerContainerDlg): from top to
// bottom the path label of the selected folder, the folder tree, the trigger
// filter switches (commands 39000 .. 39006) with their labels, the item count
// "%d個" and the recording list.
//
// Talking to the owner (the main window). The panel is a view: the owner hands
// it the scan result and the folder tree, and learns of the user's choices
// through three Qt signals, connected with function pointers, for example
//
//   connect(filer, &CFilerContainerDlg::RowSelected, this, &CkinettaDlg::OnListSelect);
//   connect(filer, &CFilerContainerDlg::FolderSelected, this, &CkinettaDlg::OnFolderSelect);
//   connect(filer, &CFilerContainerDlg::ListRebuilt, this, &CkinettaDlg::OnListRebuilt);
//
// Rule: what the user does is reported, what the owner asks for is not. A click
// or key in the list, and row 0 after a filter toggle or a header sort, emit
// RowSelected; SelectRow() and SetScanResult() select silently. A click in the
// tree emits FolderSelected (from the event loop, after the click has been
// handled, so that the owner may replace the tree and the list in its handler);
// SelectFolderItem() selects silently. ListRebuilt
// follows every change of the rows (new scan result, filter toggle, header
// sort, clearing), before any RowSelected of the same change, so that the owner
// rebuilds what it derives from the rows (the map's group track) first. All of
// this runs on the UI thread.

#include <QLabel>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/file_selection.h"
#include "kinetta/skin/command_target.h"

namespace kinetta {

class CFileListCtrl;
class CFolderTreeCtrl;
class CSkinButton;

class CFilerContainerDlg : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    static constexpr int kFirstFilterCommand = TriggerFilter::kFirstCommand; // 39000
    static constexpr int kFilterCount = 7;

    explicit CFilerContainerDlg(QWidget* parent = nullptr);

    // A new scan result: the list is rebuilt through the trigger filter and
    // row 0 is selected (silently); ListRebuilt follows. The family also
    // decides which filter switches are shown.
    void SetScanResult(std::vector<RecordingEntry> scan, RecorderFamily family);
    // Empties the list (the scan result too); ListRebuilt follows.
    void ClearList();
    // While a source or folder is read: the list says "読み込み中…" and takes
    // no click or key. The next SetScanResult or ClearList ends it.
    void SetLoading(bool loading);
    // While loading: the rows of the folder being read as its names give them,
    // shown (through the filter, with their count) but not selectable until
    // the scan result replaces them; ListRebuilt follows.
    void SetPreview(std::vector<RecordingEntry> rows, RecorderFamily family);
    bool Loading() const { return loading_; }
    // The folder tree of the source; nothing is selected and the path label is
    // empty afterwards.
    void SetFolderTree(const std::vector<TreeItem>& items, RecorderFamily family);
    void ClearTree();

    // Filter switches 39000 .. 39006 (also routed here by the owner's menu):
    // toggles the switch, rebuilds the list and the count, selects row 0.
    void OnCommand(int id) override;

    const TriggerFilter& Filter() const { return filter_; }
    RecorderFamily Family() const { return family_; }
    const std::vector<RecordingEntry>& ScanResult() const { return scan_; }
    // The list copy in display order; a row's index is its index here.
    const std::vector<RecordingEntry>& Rows() const;
    int RowCount() const;
    int SelectedRow() const;
    // Previous/next from the owner: clears the old selection, selects, focuses
    // and shows row n; an n outside the rows is ignored. Not reported.
    void SelectRow(int n);

    // Selects tree item index and shows its path in the label. Not reported.
    bool SelectFolderItem(int index);
    int SelectedFolderItem() const;
    // The tree item below the selected one (the next folder), -1 for none.
    int NextFolderItem() const;

    CFileListCtrl* List() const { return list_; }
    CFolderTreeCtrl* Tree() const { return tree_; }
    QLabel* CountLabel() const { return count_; }
    QLabel* PathLabel() const { return path_; }
    CSkinButton* FilterSwitch(int code) const;
    QLabel* FilterLabel(int code) const;

    // Re-applies the display scale to every child and lays them out again.
    void Rescale();

signals:
    // The user selected row `row` of Rows().
    void RowSelected(int row);
    // The user selected folder-tree item `item`; the owner opens `path` (the
    // item's folder) as the source.
    void FolderSelected(int item, const QString& path);
    // The rows changed (see the rule above).
    void ListRebuilt();
    // The right button was pressed over row `row` of Rows().
    void RowMenuRequested(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Rebuild();
    void UpdateFilterSwitches();
    void OnTreeItemSelected(int index);
    void LayOut();

    std::vector<RecordingEntry> scan_;
    TriggerFilter filter_;
    RecorderFamily family_ = RecorderFamily::TX40;

    QLabel* path_ = nullptr;
    CFolderTreeCtrl* tree_ = nullptr;
    std::array<CSkinButton*, kFilterCount> switches_{};
    std::array<QLabel*, kFilterCount> labels_{};
    QLabel* count_ = nullptr;
    CFileListCtrl* list_ = nullptr;
    QLabel* loadingText_ = nullptr; // over the list's viewport while loading_
    bool loading_ = false;
};

} // namespace kinetta
