#include "kinetta/fileops/file_ops.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/file_select_dlg.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/skin_progress.h"

namespace kinetta {

namespace {
constexpr int kMsgOk = 0;         // CMsgBox type: one button "OK"
constexpr int kMsgYesNo = 4;      // "はい" and "いいえ"
constexpr int kResultYes = 6;     // "はい"
constexpr int kCancelUnits = 100; // width of the cancel button, design units
} // namespace

// ---- progress window --------------------------------------------------------------

CFileOpProgressWnd::CFileOpProgressWnd(QWidget* parent, CSkinProgressBarCtrl* bar,
                                       std::function<void()> cancel)
    : QWidget(parent), bar_(bar), onCancel_(std::move(cancel)) {
    setObjectName("fileOpProgress");
    bar_->setParent(this);
    bar_->SetRange(0, 100);
    bar_->show();
    cancel_ = new CSkinButton(kPicTextButton, QRect(0, 0, kCancelUnits, 22), this, kIdCancel);
    cancel_->setObjectName("fileOpCancel");
    cancel_->setText(Text(kStrCancel));
    hide();
}

void CFileOpProgressWnd::Place(const QRect& rect) {
    setGeometry(rect);
    const int w = std::min(rect.width(), Scaled(SkinScale(), kCancelUnits));
    bar_->setGeometry(0, 0, rect.width() - w, rect.height());
    cancel_->SetPicture(kPicTextButton, QRect(rect.width() - w, 0, w, rect.height()));
}

void CFileOpProgressWnd::ShowProgress(int done, int total) {
    bar_->SetPos(JobControl::Percent(done, total));
    show();
    raise();
    bar_->repaint();
}

void CFileOpProgressWnd::OnCommand(int id) {
    if (id != kIdCancel) return;
    cancel_->setEnabled(false); // taken: the work stops at its next check
    if (onCancel_) onCancel_();
}

// ---- flows ------------------------------------------------------------------------

CFileOps::CFileOps(QWidget* window, CSkinProgressBarCtrl* bar, Host host, FileOpAnswerer answerer)
    : window_(window), host_(std::move(host)) {
    progress_ = new CFileOpProgressWnd(window, bar, [this] { Cancel(); });
    defaults_.folder = [this](const QString& title,
                              const std::string& start) -> std::optional<std::string> {
        const QUrl url = QFileDialog::getExistingDirectoryUrl(
            window_, title, QUrl::fromLocalFile(QString::fromStdString(start)),
            QFileDialog::ShowDirsOnly);
        if (url.isEmpty()) return std::nullopt;
        return url.isLocalFile() ? url.toLocalFile().toStdString() : std::string();
    };
    defaults_.messageBox = [this](const QString& text, const QString& caption, int type) {
        return CMsgBox::Show(window_, text, caption, type);
    };
    defaults_.fileSelect =
        [this](const FileSelectRequest& request) -> std::optional<FileSelectAnswer> {
        CFileSelectDlg dlg(request.mode, request.current, request.all, CurrentFamily(),
                           request.focusRow, window_);
        if (request.titleId >= 0) dlg.setWindowTitle(Text(request.titleId));
        dlg.SetMessageBox([this](QWidget*, const QString& text, const QString& caption, int type) {
            return answerer_.messageBox(text, caption, type);
        });
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return FileSelectAnswer{dlg.SelectedEntries(), dlg.FrontOn(), dlg.RearOn(),
                                dlg.UploadConversion()};
    };
    defaults_.openFolder = [](const QUrl& folder) { QDesktopServices::openUrl(folder); };
    SetAnswerer(std::move(answerer));
    job_.SetSinks({
        [this](int done, int total) {
            PostWindowMessage(window_, UM_PROGRESS, static_cast<std::uintptr_t>(std::max(done, 0)),
                              total);
        },
        [this](std::uint32_t end) { PostWindowMessage(window_, static_cast<int>(end)); },
    });
}

CFileOps::~CFileOps() {
    Shutdown();
}

void CFileOps::SetAnswerer(FileOpAnswerer answerer) {
    answerer_ = std::move(answerer);
    if (!answerer_.folder) answerer_.folder = defaults_.folder;
    if (!answerer_.messageBox) answerer_.messageBox = defaults_.messageBox;
    if (!answerer_.fileSelect) answerer_.fileSelect = defaults_.fileSelect;
    if (!answerer_.openFolder) answerer_.openFolder = defaults_.openFolder;
}

bool CFileOps::Run(const Prepare& prepare, Recording recording) {
    if (shutDown_ || Running()) return false;
    if (recording == Recording::kClose && host_.stopAndClose) host_.stopAndClose();
    JobControl::Work work = prepare ? prepare() : JobControl::Work{};
    if (!work || shutDown_) {
        if (host_.flowRunning) host_.flowRunning(false);
        return false;
    }
    progress_->CancelButton()->setEnabled(true);
    progress_->Bar()->SetDetail(QString());
    progress_->ShowProgress(0, 1);
    if (!job_.Start(std::move(work))) {
        progress_->hide();
        if (host_.flowRunning) host_.flowRunning(false);
        return false;
    }
    if (host_.flowRunning) host_.flowRunning(true);
    return true;
}

void CFileOps::Shutdown() {
    shutDown_ = true;
    job_.Cancel();
    job_.Join();
}

std::string CFileOps::AskFolder(std::string_view key, int titleId) {
    const std::optional<std::string> chosen = answerer_.folder(Text(titleId), StartFolderFor(key));
    if (!chosen) return {};
    if (chosen->empty()) ShowError(Text(kStrFolderPathFailed));
    return *chosen;
}

bool CFileOps::AskYesNo(int textId) {
    return AskYesNo(Text(textId));
}

bool CFileOps::AskYesNo(const QString& text) {
    return answerer_.messageBox(text, Text(kStrConfirmCaption), kMsgYesNo) == kResultYes;
}

void CFileOps::ShowError(const QString& text) {
    answerer_.messageBox(text, Text(kStrErrorCaption), kMsgOk);
}

QString CFileOps::CompletionText(const JobControl::Outcome& outcome) {
    // A long list of files would push the question off the screen: a few
    // names, then how many more.
    constexpr size_t kNamedFiles = 4;
    QStringList lines{Text(kStrDoneMessage)};
    if (!outcome.summary.empty()) lines << QString::fromStdString(outcome.summary);
    if (!outcome.folder.empty())
        lines << Text(kStrDoneFolder).arg(QDir::cleanPath(QString::fromStdString(outcome.folder)));
    for (size_t i = 0; i < outcome.files.size() && i < kNamedFiles; ++i)
        lines << Text(kStrDoneFile)
                     .arg(QFileInfo(QString::fromStdString(outcome.files[i])).fileName());
    if (outcome.files.size() > kNamedFiles)
        lines << Text(kStrDoneMoreFiles).arg(outcome.files.size() - kNamedFiles);
    if (!outcome.folder.empty()) lines << Text(kStrOpenFolderAsk);
    return lines.join(QLatin1Char('\n'));
}

void CFileOps::ShowCompleted(const JobControl::Outcome& outcome) {
    const QString text = CompletionText(outcome);
    if (outcome.folder.empty()) {
        answerer_.messageBox(text, Text(kStrDoneCaption), kMsgOk);
        return;
    }
    if (answerer_.messageBox(text, Text(kStrDoneCaption), kMsgYesNo) == kResultYes)
        answerer_.openFolder(
            QUrl::fromLocalFile(QDir::cleanPath(QString::fromStdString(outcome.folder))));
}

std::optional<FileSelectAnswer> CFileOps::SelectFiles(FileSelectMode mode, int titleId) {
    FileSelectRequest request;
    if (host_.selectionRequest) request = host_.selectionRequest(mode);
    request.mode = mode;
    request.titleId = titleId;
    return answerer_.fileSelect(request);
}

void CFileOps::MarkProcessed(const std::vector<RecordingEntry>& entries) {
    if (host_.markProcessed) host_.markProcessed(entries);
}

bool CFileOps::HandleMessage(int message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case UM_PROGRESS:
        if (Running()) {
            progress_->Bar()->SetDetail(UiQString(job_.Detail()));
            progress_->ShowProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        }
        return true;
    case UM_FILEOP_DONE:
        Ended(false);
        return true;
    case UM_FILEOP_RELOAD:
        Ended(true);
        return true;
    default:
        return false;
    }
}

void CFileOps::Ended(bool reload) {
    if (shutDown_ || !Running()) return;
    job_.Join(); // no time-out: the worker ends between two files
    const JobControl::Outcome outcome = job_.TakeOutcome();
    // After a delete the list is rebuilt, also when the flow stopped part
    // way: the files already removed must not stay in the list.
    if (reload && host_.reloadList) host_.reloadList();
    if (!outcome.failure.empty()) {
        ShowError(QString::fromStdString(outcome.failure));
    } else if (outcome.completed) {
        ++completedFlows_;
        ShowCompleted(outcome);
    }
    progress_->hide();
    if (host_.flowRunning) host_.flowRunning(false);
}

void CFileOps::Place(const QRect& rect) {
    progress_->Place(rect);
}

} // namespace kinetta
