#pragma once
// The viewer on a generated card for the file-operation tests, with every
// prompt, question and the file-selection dialog answered by the test: the
// answers are set before the command and each question is recorded.

#include <QString>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/file_ops_feature.h"
#include "support/temp_dir.h"
#include "support/viewer_rig.h"
#include "tools/mkcard/recording.h"

namespace ktest {

struct Shown {
    QString text, caption;
    int type = 0;
};

// Writes one recording (front, rear or combined) at path; firstFrame lets
// consecutive recordings carry running frame numbers.
inline bool WriteMovie(const std::string& path, kinetta::RecorderFamily family,
                       mkcard::FileContent content, int minute, int second = 0,
                       double seconds = 3.0, int firstFrame = 0) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    mkcard::RecordingSpec s;
    s.family = family == kinetta::RecorderFamily::TX50 ? playcore::RecorderFamily::TX50
                                                       : playcore::RecorderFamily::TX40;
    s.content = content;
    s.start = {2023, 5, 25, 10, minute, second};
    s.durationSeconds = seconds;
    s.firstFrame = firstFrame;
    s.frontWidth = s.rearWidth = 160;
    s.frontHeight = s.rearHeight = 90;
    mkcard::RecordingReport report;
    std::string error;
    return mkcard::WriteRecording(s, path, &report, &error);
}

struct FileOpsViewer : ViewerRig {
    std::vector<Shown> shown;          // every message box, in order
    std::deque<int> answers;           // results of the next questions (type 4)
    std::optional<std::string> folder; // the folder prompt's answer
    std::vector<std::pair<QString, std::string>> folderPrompts; // title, start folder
    std::optional<kinetta::FileSelectAnswer> selection;         // the file-selection answer
    std::vector<kinetta::FileSelectRequest> selections;
    // The source dialog's answer (browse, command 38014); nothing: cancelled.
    std::optional<std::pair<kinetta::SourceKind, std::string>> source;
    // The folders a completion's "はい" opened (no file manager starts).
    std::vector<QUrl> opened;

    FileOpsViewer(const std::string& home, std::string cardRoot, kinetta::RecorderFamily family)
        : ViewerRig(home, std::move(cardRoot), family, [this](kinetta::CkinettaDlg::Hooks& h) {
              h.messageBox = [this](const QString& text, const QString& caption, int type) {
                  return Answer(text, caption, type);
              };
              h.sourcePrompt = [this](kinetta::SourceKind* kind, std::string* path) {
                  if (!source) return false;
                  *kind = source->first;
                  *path = source->second;
                  return true;
              };
          }) {
        kinetta::FileOpAnswerer a;
        a.folder = [this](const QString& title, const std::string& start) {
            folderPrompts.emplace_back(title, start);
            return folder;
        };
        a.fileSelect = [this](const kinetta::FileSelectRequest& request) {
            selections.push_back(request);
            return selection;
        };
        a.messageBox = [this](const QString& text, const QString& caption, int type) {
            return Answer(text, caption, type);
        };
        a.openFolder = [this](const QUrl& folder) { opened.push_back(folder); };
        dlg->Features().Find<kinetta::FileOpsFeature>()->Ops().SetAnswerer(std::move(a));
    }

    // Records a message box; a question (type 4) takes the next answer, "いいえ"
    // when the test gave none.
    int Answer(const QString& text, const QString& caption, int type) {
        shown.push_back({text, caption, type});
        if (type != 4) return 1;
        if (answers.empty()) return 7;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

    kinetta::CFileOps& Ops() { return dlg->Features().Find<kinetta::FileOpsFeature>()->Ops(); }
    bool WaitLoaded() {
        return WaitFor([&] { return dlg->State().Loaded() && !dlg->State().Busy(); }, 20000);
    }
    // Waits until the flow has ended (its end message handled).
    bool WaitEnded() {
        return WaitFor([&] { return !dlg->Features().Find<kinetta::FileOpsFeature>()->Running(); },
                       60000);
    }
    // Messages whose text is text, or whose first line is (the completion
    // message goes on with the folder and the files).
    int Count(const QString& text) const {
        int n = 0;
        for (const Shown& s : shown)
            n += s.text == text || s.text.section(QLatin1Char('\n'), 0, 0) == text ? 1 : 0;
        return n;
    }
    bool Finished() const { return Count(QStringLiteral("完了しました。")) == 1; }
};

} // namespace ktest
