#pragma once
// CSourceOpenDlg: where the recordings come from ("参照先"): an SD card chosen
// from the removable drives (control 38800), a folder (text and browse button
// 38703) or one movie file (text and browse button 38704). The three choice
// buttons are commands 38700 (SD card), 38701 (folder) and 38702 (file). OK is
// enabled only when the chosen kind has something to open; it writes
// "SOURCE"/"SELECT" and the chosen kind's key, then closes the dialog.

#include <QComboBox>
#include <QLineEdit>

#include <string>
#include <vector>

#include "kinetta/catalogue/catalogue.h"
#include "kinetta/skin/skin_dialog.h"

namespace kinetta {

class CSkinButton;
class SettingsStore;

class CSourceOpenDlg : public CSkinDialog {
public:
    static constexpr int kCmdSd = 38700;
    static constexpr int kCmdFolder = 38701;
    static constexpr int kCmdFile = 38702;
    static constexpr int kCmdBrowseFolder = 38703;
    static constexpr int kCmdBrowseFile = 38704;
    static constexpr int kDriveList = 38800;

    // drives: the removable drives in the order the system reports them.
    CSourceOpenDlg(SettingsStore& settings, std::vector<std::string> drives,
                   QWidget* parent = nullptr);

    void OnCommand(int id) override;

    // The kind chosen now and the path it names (drive, folder or file text).
    SourceKind Kind() const { return kind_; }
    std::string ChosenPath() const;

    void SelectKind(SourceKind kind);
    QComboBox* DriveList() const { return drives_; }
    QLineEdit* FolderText() const { return folder_; }
    QLineEdit* FileText() const { return file_; }
    CSkinButton* OkButton() const { return ok_; }
    CSkinButton* ChoiceButton(SourceKind kind) const;

private:
    void UpdateOk();
    void BrowseFolder();
    void BrowseFile();
    void Confirm();

    SettingsStore& settings_;
    SourceKind kind_ = kSourceCard;
    QComboBox* drives_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* file_ = nullptr;
    CSkinButton* sd_ = nullptr;
    CSkinButton* folderChoice_ = nullptr;
    CSkinButton* fileChoice_ = nullptr;
    CSkinButton* browseFolder_ = nullptr;
    CSkinButton* browseFile_ = nullptr;
    CSkinButton* ok_ = nullptr;
};

} // namespace kinetta
