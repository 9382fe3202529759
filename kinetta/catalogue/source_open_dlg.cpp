#include "kinetta/catalogue/source_open_dlg.h"
#include "kinetta/base/ui_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromStdString(s);
}

// "Movie Files(*.mp4)|*.mp4|All Files(*.*)|*.*||" as a Qt name filter list.
QString QtFilter(const QString& platformFilter) {
    const QStringList parts = platformFilter.split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const qsizetype paren = name.indexOf('(');
        if (paren >= 0) name = name.left(paren);
        filters << QStringLiteral("%1 (%2)").arg(name, QString(parts[i + 1]).replace(';', ' '));
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace

CSourceOpenDlg::CSourceOpenDlg(SettingsStore& settings, std::vector<std::string> drives,
                               QWidget* parent)
    : CSkinDialog(parent), settings_(settings) {
    setObjectName("CSourceOpenDlg");
    setModal(true);
    setWindowTitle(Text(kStrSourceCaption));
    const double s = SkinScale();
    auto t = [s](double units) { return Scaled(s, units); };
    const int w = t(480), h = t(250);
    SetDesignSize(QSize(w, h));
    resize(w, h);

    // Choice buttons: a picture with its label beneath, in one row.
    const int top = TitleStripHeight(s) + t(10);
    const int choice = t(48);
    const int gap = (w - 3 * choice) / 4;
    auto makeChoice = [&](int picture, int command, UiText label, int index) {
        const int x = gap + index * (choice + gap);
        auto* b = new CSkinButton(picture, QRect(x, top, choice, choice), this, command);
        b->setObjectName(QStringLiteral("choice%1").arg(command));
        auto* l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        l->setText(Text(label));
        l->setFont(SharedFont(kFont10));
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(x - gap / 2, top + choice, choice + gap, t(18));
        return b;
    };
    sd_ = makeChoice(kPicSourceSd, kCmdSd, kStrSourceSdCard, 0);
    folderChoice_ = makeChoice(kPicSourceFolder, kCmdFolder, kStrSourceFolder, 1);
    fileChoice_ = makeChoice(kPicSourceFile, kCmdFile, kStrSourceFile, 2);

    const int rowH = t(24);
    const int left = t(16);
    const int browseW = t(60);
    int y = top + choice + t(26);
    drives_ = new QComboBox(this);
    drives_->setObjectName(QString::number(kDriveList));
    drives_->setFont(SharedFont(kFont10));
    drives_->setGeometry(left, y, w - 2 * left, rowH);
    for (const std::string& d : drives)
        drives_->addItem(FromStd(d));
    if (drives_->count() > 0) drives_->setCurrentIndex(drives_->count() - 1);
    y += rowH + t(6);
    folder_ = new QLineEdit(this);
    folder_->setObjectName("folderText");
    folder_->setFont(SharedFont(kFont10));
    folder_->setGeometry(left, y, w - 2 * left - browseW - t(6), rowH);
    browseFolder_ = new CSkinButton(kPicTextButton, QRect(w - left - browseW, y, browseW, rowH),
                                    this, kCmdBrowseFolder);
    browseFolder_->setText(QStringLiteral("..."));
    y += rowH + t(6);
    file_ = new QLineEdit(this);
    file_->setObjectName("fileText");
    file_->setFont(SharedFont(kFont10));
    file_->setGeometry(left, y, w - 2 * left - browseW - t(6), rowH);
    browseFile_ = new CSkinButton(kPicTextButton, QRect(w - left - browseW, y, browseW, rowH), this,
                                  kCmdBrowseFile);
    browseFile_->setText(QStringLiteral("..."));

    ok_ =
        new CSkinButton(kPicTextButton, QRect((w - t(100)) / 2, h - t(40), t(100), t(30)), this, 1);
    ok_->setText(Text(kStrOk));
    ok_->setObjectName("ok");

    // Remembered choices.
    folder_->setText(FromStd(settings_.Read("SOURCE", "FOLDER")));
    file_->setText(FromStd(settings_.Read("SOURCE", "FILE")));
    const QString sd = FromStd(settings_.Read("SOURCE", "SD"));
    if (!sd.isEmpty()) {
        const int i = drives_->findText(sd);
        if (i >= 0) drives_->setCurrentIndex(i);
    }
    const std::string select = settings_.Read("SOURCE", "SELECT");
    SelectKind(select == "FOLDER" ? kSourceFolder : select == "FILE" ? kSourceFile : kSourceCard);

    connect(folder_, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    connect(file_, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    connect(drives_, &QComboBox::currentIndexChanged, this, [this] { UpdateOk(); });
}

CSkinButton* CSourceOpenDlg::ChoiceButton(SourceKind kind) const {
    switch (kind) {
    case kSourceFolder:
        return folderChoice_;
    case kSourceFile:
        return fileChoice_;
    default:
        return sd_;
    }
}

void CSourceOpenDlg::SelectKind(SourceKind kind) {
    kind_ = kind;
    sd_->SetPressedLook(kind == kSourceCard);
    folderChoice_->SetPressedLook(kind == kSourceFolder);
    fileChoice_->SetPressedLook(kind == kSourceFile);
    UpdateOk();
}

std::string CSourceOpenDlg::ChosenPath() const {
    switch (kind_) {
    case kSourceCard:
        return drives_->currentIndex() >= 0 ? drives_->currentText().toStdString() : std::string();
    case kSourceFolder:
        return folder_->text().toStdString();
    case kSourceFile:
        return file_->text().toStdString();
    default:
        return {};
    }
}

void CSourceOpenDlg::UpdateOk() {
    ok_->setEnabled(!ChosenPath().empty());
}

void CSourceOpenDlg::OnCommand(int id) {
    switch (id) {
    case kCmdSd:
        return SelectKind(kSourceCard);
    case kCmdFolder:
        return SelectKind(kSourceFolder);
    case kCmdFile:
        return SelectKind(kSourceFile);
    case kCmdBrowseFolder:
        return BrowseFolder();
    case kCmdBrowseFile:
        return BrowseFile();
    case 1:
        return Confirm();
    default:
        return CSkinDialog::OnCommand(id);
    }
}

void CSourceOpenDlg::BrowseFolder() {
    const QString start = FromStd(settings_.Read("SOURCE", "FOLDER"));
    const QString chosen = QFileDialog::getExistingDirectory(this, Text(kStrSelectMovieFolder),
                                                             start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return; // cancelled
    const QString local = QDir::fromNativeSeparators(chosen);
    if (local.startsWith(QStringLiteral("/")) == false) {
        // Not a file-system folder (a remote or virtual location).
        CMsgBox::Show(this, Text(kStrFolderPathFailed), Text(kStrErrorCaption), 0);
        return;
    }
    folder_->setText(local);
    SelectKind(kSourceFolder);
}

void CSourceOpenDlg::BrowseFile() {
    const QString start = QCoreApplication::applicationDirPath() + QStringLiteral("/*.mp4");
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), start, QtFilter(Text(kStrMovieFileFilter)));
    if (chosen.isEmpty()) return;
    file_->setText(chosen);
    SelectKind(kSourceFile);
}

void CSourceOpenDlg::Confirm() {
    const std::string path = ChosenPath();
    if (path.empty()) return;
    const char* key = kind_ == kSourceFolder ? "FOLDER" : kind_ == kSourceFile ? "FILE" : "SD";
    settings_.Write("SOURCE", "SELECT", key);
    settings_.Write("SOURCE", key, path);
    accept();
}

} // namespace kinetta
