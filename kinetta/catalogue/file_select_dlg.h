#pragma once
// The modal file-selection dialog (CFileSelectDlg) in which the user ticks the
// recordings a delete, save or join works on. The rules (rows, ticks, totals,
// limits) are FileSelection's; this window shows them: a ticked list with a name
// column and one size column per camera, the totals below it, the switches
// "全てのファイルを表示" and "表示された全てを選択", in save and join mode the camera
// switches and in join mode "アップロード変換", and OK / "キャンセル".
//
// Use:
//   CFileSelectDlg dlg(FileSelectMode::Join, listRows, catalogueEntries,
//                      CurrentFamily(), selectedRow, this);
//   if (dlg.exec() == QDialog::Accepted) work(dlg.SelectedEntries(), dlg.FrontOn(), ...);

#include <QLabel>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

#include "kinetta/catalogue/file_selection.h"
#include "kinetta/skin/skin_dialog.h"

namespace kinetta {

class CSkinButton;
class CSkinCheckButton;
class CSkinListCtrl;

class CFileSelectDlg : public CSkinDialog {
public:
    // Control ids of the dialog.
    static constexpr int kIdList = 1001;
    static constexpr int kIdShowAllFiles = 1002;   // "全てのファイルを表示"
    static constexpr int kIdSelectAllShown = 1003; // "表示された全てを選択"
    static constexpr int kIdFrontCamera = 1004; // "メインを保存" / "フロントを連結" ...
    static constexpr int kIdRearCamera = 1005;  // "リヤを保存" / "リヤを連結"
    static constexpr int kIdUploadConversion = 1006;
    static constexpr int kIdTotal = 1007;     // delete mode: the one total; else the front total
    static constexpr int kIdRearTotal = 1008; // save and join: the rear total

    // Delay of "選択できないファイルがあります。" after a tick that an unselectable
    // row stopped, in milliseconds.
    static constexpr int kNoticeDelayMs = 500;

    // Shows a message and returns its result (CMsgBox::Show by default). Tests
    // put in one that records the message instead of waiting for a user.
    using MessageBoxFunction =
        std::function<int(QWidget* owner, const QString& text, const QString& caption, int type)>;

    // current: the rows of the main list; all: every recording of the source
    // ("全てのファイルを表示"). focusRow: the row focused at the start (the
    // owner's selected row), limited to the rows.
    CFileSelectDlg(FileSelectMode mode, std::vector<RecordingEntry> current,
                   std::vector<RecordingEntry> all, RecorderFamily family, int focusRow,
                   QWidget* parent = nullptr);
    ~CFileSelectDlg() override;

    void SetMessageBox(MessageBoxFunction show) { messageBox_ = std::move(show); }

    void OnCommand(int id) override;
    void done(int result) override;

    // The ticked rows, in row order, as handed back by OK.
    const std::vector<RecordingEntry>& SelectedEntries() const { return result_; }
    bool FrontOn() const;
    bool RearOn() const;
    bool UploadConversion() const;
    bool ShowingAll() const { return showingAll_; }
    FileSelectMode Mode() const { return mode_; }

    const FileSelection& Selection() const { return *selection_; }
    CSkinListCtrl* List() const { return list_; }
    CSkinButton* OkButton() const { return ok_; }
    CSkinCheckButton* Switch(int id) const;
    QLabel* TotalLabel() const { return total_; }
    QLabel* RearTotalLabel() const { return rearTotal_; }
    bool NoticePending() const { return notice_.isActive(); }

    // A click on a row's check mark (what a click on a row of the list posts).
    void ClickRow(int row);

    // Colours of a row that carries the processed mark (save and join mode).
    static QColor ProcessedText() { return QColor(255, 0, 255); }
    static QColor ProcessedBackground() { return QColor(255, 255, 0); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void Refresh();
    void LayOut();
    void StartNotice();
    void ShowMessage(int textId, int captionId);

    FileSelectMode mode_;
    RecorderFamily family_;
    std::vector<RecordingEntry> current_, all_;
    std::optional<FileSelection> selection_;
    std::vector<RecordingEntry> result_;
    bool showingAll_ = false;
    int focusRow_ = 0;
    bool tooManyPending_ = false; // the 1500-row message waits for the dialog to show
    bool shown_ = false;

    CSkinListCtrl* list_ = nullptr;
    CSkinCheckButton* showAll_ = nullptr;
    CSkinCheckButton* selectAll_ = nullptr;
    CSkinCheckButton* front_ = nullptr;
    CSkinCheckButton* rear_ = nullptr;
    CSkinCheckButton* upload_ = nullptr;
    QLabel* total_ = nullptr;
    QLabel* rearTotal_ = nullptr;
    CSkinButton* ok_ = nullptr;
    CSkinButton* cancel_ = nullptr;
    QTimer notice_; // single shot, kNoticeDelayMs
    MessageBoxFunction messageBox_;
};

} // namespace kinetta
