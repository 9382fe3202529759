#include "kinetta/catalogue/file_select_dlg.h"
#include "kinetta/base/ui_text.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_list.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

// The dialog's arrangement, in design units.
constexpr int kWidth = 500;
constexpr int kTitleStrip = 20;
constexpr int kMargin = 10;
constexpr int kSwitchHeight = 20;
constexpr int kSwitchRowGap = 2;
constexpr int kNameColumnWidth = 250;
constexpr int kSizeColumnWidth = 105;
constexpr int kListWidth = 480; // three columns and the scroll bar
constexpr int kListHeight = 380;
constexpr int kTotalHeight = 20;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kGap = 6;

// State images of the list's check marks.
constexpr int kUnticked = 1;
constexpr int kUntickedHover = 2;
constexpr int kTicked = 3;

QRect Rect(double s, int x, int y, int w, int h) {
    return QRect(Scaled(s, x), Scaled(s, y), Scaled(s, w), Scaled(s, h));
}

} // namespace

CFileSelectDlg::CFileSelectDlg(FileSelectMode mode, std::vector<RecordingEntry> current,
                               std::vector<RecordingEntry> all, RecorderFamily family, int focusRow,
                               QWidget* parent)
    : CSkinDialog(parent), mode_(mode), family_(family), current_(std::move(current)),
      all_(std::move(all)), focusRow_(focusRow),
      messageBox_([](QWidget* owner, const QString& text, const QString& caption, int type) {
          return CMsgBox::Show(owner, text, caption, type);
      }) {
    setModal(true);
    const bool tx50 = family_ == RecorderFamily::TX50;
    const bool join = mode_ == FileSelectMode::Join;
    switch (mode_) {
    case FileSelectMode::Delete:
        setWindowTitle(Text(kStrDelete)); // "削除"
        break;
    case FileSelectMode::Save:
        setWindowTitle(Text(kStrSaveSplit)); // "動画保存（分割）"
        break;
    case FileSelectMode::Join:
        setWindowTitle(Text(kStrJoin)); // "連結"
        break;
    }

    const double s = SkinScale();
    const QRect box(0, 0, 1, 1); // placed by LayOut
    showAll_ =
        new CSkinCheckButton(kPicCheckBox, Text(kStrShowAllFiles), box, this, kIdShowAllFiles);
    selectAll_ =
        new CSkinCheckButton(kPicCheckBox, Text(kStrSelectAllShown), box, this, kIdSelectAllShown);
    if (mode_ != FileSelectMode::Delete) {
        const int frontText =
            join ? (tx50 ? kStrJoinFront : kStrJoinMain) : (tx50 ? kStrSaveFront : kStrSaveMain);
        front_ = new CSkinCheckButton(kPicCheckBox, Text(frontText), box, this, kIdFrontCamera);
        rear_ = new CSkinCheckButton(kPicCheckBox, Text(join ? kStrJoinRear : kStrSaveRear), box,
                                     this, kIdRearCamera);
        front_->setChecked(true);
        rear_->setChecked(true);
        if (join)
            upload_ = new CSkinCheckButton(kPicCheckBox, Text(kStrUploadConversion), box, this,
                                           kIdUploadConversion);
    }

    list_ = new CSkinListCtrl(this, kIdList);
    list_->setColumnCount(3);
    list_->setHorizontalHeaderLabels({Text(kStrColumnFileName),
                                      Text(tx50 ? kStrCameraFront : kStrCameraMain),
                                      Text(kStrCameraRear)});
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setSectionsClickable(false);
    list_->setColumnWidth(0, Scaled(s, kNameColumnWidth));
    list_->setColumnWidth(1, Scaled(s, kSizeColumnWidth));
    list_->setColumnWidth(2, Scaled(s, kSizeColumnWidth));
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(Scaled(s, 18));
    list_->installEventFilter(this);

    auto makeTotal = [this](int id) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::number(id));
        label->setTextFormat(Qt::PlainText);
        label->setFont(SharedFont(kFont10));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, kSkinTextColor);
        label->setPalette(pal);
        return label;
    };
    total_ = makeTotal(kIdTotal);
    if (mode_ != FileSelectMode::Delete) rearTotal_ = makeTotal(kIdRearTotal);

    ok_ = new CSkinButton(kPicTextButton, box, this, 1);
    ok_->setText(mode_ == FileSelectMode::Delete ? Text(kStrDelete) : Text(kStrOk));
    cancel_ = new CSkinButton(kPicTextButton, box, this, 2);
    cancel_->setText(Text(kStrCancel));

    notice_.setSingleShot(true);
    notice_.setInterval(kNoticeDelayMs);
    connect(&notice_, &QTimer::timeout, this,
            [this] { ShowMessage(kStrUnselectableFiles, kStrConfirmCaption); });

    LayOut();
    Fill();
}

CFileSelectDlg::~CFileSelectDlg() = default;

bool CFileSelectDlg::FrontOn() const {
    return front_ ? front_->isChecked() : true;
}

bool CFileSelectDlg::RearOn() const {
    return rear_ ? rear_->isChecked() : true;
}

bool CFileSelectDlg::UploadConversion() const {
    return upload_ && upload_->isChecked();
}

CSkinCheckButton* CFileSelectDlg::Switch(int id) const {
    switch (id) {
    case kIdShowAllFiles:
        return showAll_;
    case kIdSelectAllShown:
        return selectAll_;
    case kIdFrontCamera:
        return front_;
    case kIdRearCamera:
        return rear_;
    case kIdUploadConversion:
        return upload_;
    default:
        return nullptr;
    }
}

void CFileSelectDlg::LayOut() {
    const double s = SkinScale();
    int y = kTitleStrip + kGap; // design units below the title strip
    showAll_->setGeometry(Rect(s, kMargin, y, 180, kSwitchHeight));
    selectAll_->setGeometry(Rect(s, kMargin + 190, y, 180, kSwitchHeight));
    y += kSwitchHeight + kSwitchRowGap;
    if (front_) {
        front_->setGeometry(Rect(s, kMargin, y, 150, kSwitchHeight));
        rear_->setGeometry(Rect(s, kMargin + 160, y, 130, kSwitchHeight));
        if (upload_) upload_->setGeometry(Rect(s, kMargin + 300, y, 160, kSwitchHeight));
        y += kSwitchHeight + kSwitchRowGap;
    }
    y += kGap;
    list_->setGeometry(Rect(s, kMargin, y, kListWidth, kListHeight));
    y += kListHeight + kGap;
    if (rearTotal_) {
        total_->setGeometry(Rect(s, kMargin + kNameColumnWidth, y, kSizeColumnWidth, kTotalHeight));
        rearTotal_->setGeometry(Rect(s, kMargin + kNameColumnWidth + kSizeColumnWidth, y,
                                     kSizeColumnWidth, kTotalHeight));
    } else {
        total_->setGeometry(
            Rect(s, kMargin + kNameColumnWidth, y, 2 * kSizeColumnWidth, kTotalHeight));
    }
    y += kTotalHeight + kGap;
    ok_->SetPicture(kPicTextButton, Rect(s, kWidth - kMargin - 2 * kButtonWidth - kMargin, y,
                                         kButtonWidth, kButtonHeight));
    cancel_->SetPicture(kPicTextButton,
                        Rect(s, kWidth - kMargin - kButtonWidth, y, kButtonWidth, kButtonHeight));
    y += kButtonHeight + kMargin;

    const QSize design(Scaled(s, kWidth), Scaled(s, y));
    SetDesignSize(design);
    resize(design);
}

void CFileSelectDlg::Fill() {
    const std::vector<RecordingEntry>& source = showingAll_ ? all_ : current_;
    selection_.emplace(mode_, source);
    selection_->SetCameras(FrontOn(), RearOn());
    selection_->SetUploadConversion(UploadConversion());

    const bool withFolder = mode_ == FileSelectMode::Delete && showingAll_;
    const bool markProcessed = mode_ != FileSelectMode::Delete;
    const int n = static_cast<int>(selection_->RowCount());
    list_->setUpdatesEnabled(false);
    list_->clearContents();
    list_->setRowCount(n);
    for (int row = 0; row < n; ++row) {
        const RecordingEntry& e = selection_->Row(static_cast<size_t>(row));
        const QString texts[3] = {QString::fromStdString(SelectionNameText(e, withFolder)),
                                  QString::fromStdString(SizeText(e.frontSize)),
                                  QString::fromStdString(SizeText(e.rearSize))};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (markProcessed && e.marked) {
                item->setForeground(ProcessedText());
                item->setBackground(ProcessedBackground());
            }
            list_->setItem(row, column, item);
        }
        list_->SetStateImage(row, kUnticked);
    }
    list_->setUpdatesEnabled(true);
    if (n > 0) {
        const int focus = std::clamp(focusRow_, 0, n - 1);
        list_->setCurrentCell(focus, 0);
        list_->scrollToItem(list_->item(focus, 0));
    }
    Refresh();

    if (selection_->Truncated()) {
        // "表示数が1500を超えています。1500項目表示します。" once the dialog is up.
        if (shown_)
            ShowMessage(kStrTooManyItems, kStrErrorCaption);
        else
            tooManyPending_ = true;
    }
}

void CFileSelectDlg::Refresh() {
    const FileSelection& sel = *selection_;
    const int hover = list_->HoverRow();
    for (int row = 0; row < list_->rowCount(); ++row) {
        const bool ticked = sel.Ticked(static_cast<size_t>(row));
        const int image = ticked ? kTicked : (row == hover ? kUntickedHover : kUnticked);
        if (list_->StateImage(row) != image) list_->SetStateImage(row, image);
    }
    if (mode_ == FileSelectMode::Delete) {
        total_->setText(QString::fromStdString(TotalText(sel.TotalBytes())));
    } else {
        total_->setText(QString::fromStdString(TotalText(sel.FrontBytes())));
        rearTotal_->setText(QString::fromStdString(TotalText(sel.RearBytes())));
    }
    ok_->setEnabled(sel.OkEnabled());
}

void CFileSelectDlg::ClickRow(int row) {
    if (row < 0 || static_cast<size_t>(row) >= selection_->RowCount()) return;
    if (selection_->Click(static_cast<size_t>(row))) StartNotice();
    Refresh();
}

void CFileSelectDlg::StartNotice() {
    // A later stop restarts the delay, so a quick series gives one message.
    notice_.start();
}

void CFileSelectDlg::ShowMessage(int textId, int captionId) {
    if (messageBox_) messageBox_(this, Text(textId), Text(captionId), 0);
}

void CFileSelectDlg::OnCommand(int id) {
    switch (id) {
    case kIdShowAllFiles:
        showingAll_ = showAll_->isChecked();
        selectAll_->setChecked(false);
        notice_.stop();
        Fill();
        return;
    case kIdSelectAllShown: {
        const int focus = std::max(0, list_->currentRow());
        if (selection_->SelectAllShown(selectAll_->isChecked(), static_cast<size_t>(focus)))
            StartNotice();
        Refresh();
        return;
    }
    case kIdFrontCamera:
    case kIdRearCamera:
        selection_->SetCameras(FrontOn(), RearOn());
        Refresh();
        return;
    case kIdUploadConversion:
        selection_->SetUploadConversion(UploadConversion());
        Refresh();
        return;
    case 1: {
        if (!selection_->OkEnabled()) return;
        switch (selection_->CheckOk()) {
        case FileSelection::OkCheck::SizeOver:
            ShowMessage(kStrSizeOver, kStrErrorCaption); // "サイズオーバーです。"
            return;
        case FileSelection::OkCheck::TooManyFiles:
            ShowMessage(kStrReduceFileCount, kStrErrorCaption); // "ファイル数を減らしてください。"
            return;
        case FileSelection::OkCheck::Accept:
            break;
        }
        result_ = selection_->TickedEntries();
        accept();
        return;
    }
    default:
        CSkinDialog::OnCommand(id); // 2 and the close button: cancel
    }
}

void CFileSelectDlg::done(int result) {
    // A notice still waiting belongs to the closed dialog: drop it.
    notice_.stop();
    CSkinDialog::done(result);
}

bool CFileSelectDlg::event(QEvent* e) {
    if (const WindowMessage* m = AsWindowMessage(e)) {
        if (m->Message() == UM_SKINLIST_CLICK) {
            ClickRow(static_cast<int>(m->LParam()));
            return true;
        }
    }
    return CSkinDialog::event(e);
}

bool CFileSelectDlg::eventFilter(QObject* watched, QEvent* e) {
    // Space ticks the focused row, as a click on its check mark does.
    if (watched == list_ && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) {
        ClickRow(list_->currentRow());
        return true;
    }
    return CSkinDialog::eventFilter(watched, e);
}

void CFileSelectDlg::showEvent(QShowEvent* e) {
    CSkinDialog::showEvent(e);
    shown_ = true;
    if (tooManyPending_) {
        tooManyPending_ = false;
        // After the dialog has appeared, from the event loop.
        QMetaObject::invokeMethod(
            this, [this] { ShowMessage(kStrTooManyItems, kStrErrorCaption); },
            Qt::QueuedConnection);
    }
}

} // namespace kinetta
