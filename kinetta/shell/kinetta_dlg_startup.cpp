// The main window's start-up stages, the recorder family decision and the
// shutdown sequence.

#include <QCloseEvent>

#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/open_with.h"
#include "kinetta/catalogue/source.h"
#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/model_select_dlg.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_slider.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

CkinettaDlg::CkinettaDlg(playcore::PlaybackSession& playback, Hooks hooks, QWidget* parent)
    : CResizeDialog(parent), playback_(playback), hooks_(std::move(hooks)),
      sink_(std::make_unique<QtMessageSink>()), state_(playback, this, sink_.get(), view_),
      play_(playback, &state_), views_(playback, view_, state_, play_, layout_, this, *this),
      prefetch_(playback, state_, this) {
    setObjectName("CkinettaDlg");
    setWindowFlag(Qt::Window, true);
    if (!hooks_.productPrompt) {
        hooks_.productPrompt = [this] {
            // Without a screen the dialog has nowhere to be shown.
            if (QGuiApplication::screens().isEmpty()) {
                errno = ENODEV;
                return -1;
            }
            CModelSelectDlg dlg(this);
            return dlg.exec();
        };
    }
    if (!hooks_.messageBox) {
        hooks_.messageBox = [this](const QString& text, const QString& caption, int type) {
            return CMsgBox::Show(this, text, caption, type);
        };
    }
    if (!hooks_.removableRoots)
        hooks_.removableRoots = [] { return platform::CurrentRemovableRoots(); };
    state_.SetTrace(hooks_.trace);
    ConnectRequests();
}

CkinettaDlg::~CkinettaDlg() {
    Shutdown();
}

bool CkinettaDlg::StartupComplete() const {
    return decider_ && decider_->StartupComplete();
}

void CkinettaDlg::ComputeScale() {
    // The monitor that holds the window's top-left corner, its work area.
    QScreen* screen = QGuiApplication::screenAt(pos());
    if (!screen) screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect work = screen->availableGeometry();
    const DisplayScale scale = ComputeDisplayScale(work.width(), work.height(),
                                                   static_cast<int>(screen->logicalDotsPerInchX()),
                                                   static_cast<int>(screen->logicalDotsPerInchY()));
    if (scale.f > 0)
        SetSkinScale(scale.s, scale.f, static_cast<int>(screen->logicalDotsPerInchY()));
}

void CkinettaDlg::StartupStage1() {
    if (state_.started_) return;
    state_.started_ = true;
    // Texts, scale and fonts; the settings live in the directory current now.
    SelectUiStringColumn(QLocale::system().name().toStdString());
    ComputeScale();
    SetSettingsDirectory(hooks_.settingsDirectory.empty() ? QDir::currentPath().toStdString()
                                                          : hooks_.settingsDirectory);
    setWindowTitle(Text(kStrAppCaption));

    CreateChildren();
    CreateFeatures();
    views_.CreateWindows(); // the controller bar, the second movie window

    // First run: the file is created with its first values.
    SettingsStore& settings = Settings();
    const bool existed = settings.FileExists();
    if (!existed) {
        settings.Write("DISPLAY", "INFOCHECK", "31");
        settings.Write("DISPLAY", "ASPECT", "on");
        settings.Write("DISPLAY", "VOLUME", "65535");
    }
    decider_ = std::make_unique<FamilyDecider>(settings, kBuildMode, existed);
    decider_->SetPrompt(hooks_.productPrompt, [this] {
        // The system's own text for the error, in the user's language.
        const int error = errno != 0 ? errno : ENODEV;
        hooks_.messageBox(QString::fromLocal8Bit(std::strerror(error)),
                          Text(kStrErrorMessageCaption), 0);
    });

    // The two engines, each drawing into its movie area.
    const std::string face(UiString(kStrFontFace));
    for (int k = 0; k < 2; ++k)
        playback_.InitEngine(k, {areas_[k], areas_[k]->Target()}, {}, face);
    playback_.SetHardwareDecode(settings.Read("DECODE", "HW") == "on");

    CreateToolbar();

    // Volume: empty means the loudest; text that is no number reads 0.
    const std::string volume = settings.Read("DISPLAY", "VOLUME");
    play_.LoadVolume(volume);

    const double s = SkinScale();
    SetDesignSize(QSize(Scaled(s, 1100), Scaled(s, 700)));
    SetSettingsSection(QStringLiteral("DISPLAY"));
    resize(DesignSize());
    play_.ApplyVolume();
    ShowPlayFace(false);

    // The initial source: the last card, else the remembered folder or file.
    const SourceChoice source = InitialSource(settings);
    // The markers of a card's root, or of a folder's (a copied card), decide the family.
    state_.modelKey_ = source.kind == kSourceCard || source.kind == kSourceFolder
                           ? ModelKeyOfRoot(source.path)
                           : std::string();
    DecideRecorderFamily(state_.modelKey_);
    AdoptFamily(); // a refused decision leaves the family of the run as it was
    ApplyModeLayout();

    LayOut();
    filer_->ClearTree();
    watch_ = std::make_unique<SourceWatch>(*sink_, static_cast<QObject*>(this));
    if (source.kind != kSourceNone) ReadSourceInBackground(source.path, source.kind);
    UpdateToolbar();
    StartTimer(kTimerIdle, 1000, false);

    // The remembered size multipliers, at the window's place.
    ApplyMultipliers();
    if (QScreen* screen = this->screen()) monitorRect_ = screen->geometry();
    WatchScreens();
    views_.PlaceFloatingAtStart();
    fullyBuilt_ = true;
    // The browser-component notice (waits for the user), then the map's bring-up.
    emit state_.StartupStageDone(1);
    PostWindowMessage(this, UM_STARTUP_STAGE2);
}

SourceChoice CkinettaDlg::InitialSource(SettingsStore& settings) {
    const std::vector<std::string> roots = hooks_.removableRoots();
    if (!hooks_.openPath.empty()) {
        // The source named on the command line, kept as the source dialog
        // keeps a choice; a refused path is reported and the usual source
        // is opened.
        const OpenWithChoice open =
            ChooseOpenWithSource(hooks_.openPath, QDir::currentPath().toStdString(), roots);
        if (open.choice.kind != kSourceNone) {
            const char* key = open.choice.kind == kSourceFolder ? "FOLDER"
                              : open.choice.kind == kSourceFile ? "FILE"
                                                                : "SD";
            settings.Write("SOURCE", "SELECT", key);
            settings.Write("SOURCE", key, open.choice.path);
            return open.choice;
        }
        std::fprintf(stderr, "kinetta: %s\n", open.refusal.c_str());
        hooks_.messageBox(QString::fromStdString(open.refusal), Text(kStrErrorCaption), 0);
    }
    return ChooseInitialSource(roots, settings);
}

void CkinettaDlg::StartupStage2() {
    PlaceMovieAreas();
    emit state_.StartupStageDone(2); // the update check starts
    raise();
    activateWindow();
    decider_->SetStartupComplete(true);
    if (QScreen* screen = this->screen()) monitorRect_ = screen->geometry();
}

void CkinettaDlg::WatchScreens() {
    // A change of a screen's work area (a panel moved or resized) is the
    // application-bar notification 1 (ABN_POSCHANGED).
    auto notify = [this] {
        if (!state_.shutDown_) PostWindowMessage(this, UM_APPBAR_NOTIFY, kAppBarPositionChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        connect(screen, &QScreen::availableGeometryChanged, this, notify);
}

void CkinettaDlg::RescaleForScreen() {
    if (state_.shutDown_) return;
    ComputeScale(); // S, F and the shared fonts
    const double s = SkinScale();
    SetDesignSize(QSize(Scaled(s, 1100), Scaled(s, 700)));
    ApplyMultipliers();
    LayOut();
}

bool CkinettaDlg::DecideRecorderFamily(const std::string& modelKey) {
    if (!decider_->Decide(modelKey)) return false;
    AdoptFamily();
    return true;
}

void CkinettaDlg::AdoptFamily() {
    const RecorderFamily family = CurrentFamily(); // set by the decision
    // Every load, prefetch and completeness check of the session parses the
    // family's GPS layout.
    playback_.SetFamilyFlag(family == RecorderFamily::TX40);
    update(); // the family's logo
}

void CkinettaDlg::ApplyModeLayout() {
    const ModeLayout m = kinetta::ApplyModeLayout(kBuildMode);
    state_.cameraSelection_ = m.cameraSelection;
    state_.shownCamera_ = 0;
    view_.SetDisplayModels(m.initialDisplayModel);
}

bool CkinettaDlg::AdoptSource(std::unique_ptr<Catalogue> catalogue, const std::string& path,
                              bool ok) {
    const RecorderFamily family = catalogue->Family();
    folderScanner_.Cancel(); // a folder of the old source is not wanted any more
    folderScan_ = 0;
    sourceScan_ = 0;
    emit state_.SourceChanged(); // a new source starts with the map window off
    catalogue_ = std::move(catalogue);
    state_.source_ = catalogue_.get();
    watch_->SetWatchedPath(path);
    filer_->SetFolderTree(catalogue_->Tree(), family);
    if (!ok) {
        filer_->ClearList();
        emit state_.SourceOpened();
        hooks_.messageBox(Text(kStrOpenFailed), Text(kStrErrorCaption), 0);
        return false;
    }
    return true;
}

namespace {
// A source read's result, handed from the scanner's worker to `handler` of
// the window on the UI thread (dropped when the window is gone by then).
FolderScanner::SourceDone OnUiThread(CkinettaDlg* window,
                                     void (CkinettaDlg::*handler)(unsigned, ReadSourceResult)) {
    return [window, handler](unsigned serial, ReadSourceResult result) {
        QMetaObject::invokeMethod(
            window,
            [window, handler, serial, result = std::move(result)]() mutable {
                (window->*handler)(serial, std::move(result));
            },
            Qt::QueuedConnection);
    };
}
} // namespace

void CkinettaDlg::ReadSourceInBackground(const std::string& path, SourceKind kind, bool resume) {
    const RecorderFamily family = CurrentFamily();
    folderScanner_.Cancel();
    folderScan_ = 0;
    filer_->ClearList(); // ListRebuilt follows
    filer_->SetLoading(true);
    sourceScanPath_ = path;
    sourceScanKind_ = kind;
    sourceScanResume_ = resume;
    // The folder of the last run's recording is read first when the source
    // still holds it: it is the one the list shows in the end.
    const std::string resumeFolder = resume ? Settings().Read("SOURCE", "LASTFOLDER") : "";
    sourceVerifier_.Cancel(); // the whole read of an earlier source
    sourceVerify_ = 0;
    const bool byNames = kind == kSourceCard || kind == kSourceFolder;
    sourceScan_ =
        folderScanner_.ScanSource(path, kind, family, ContainerProbe(family), resumeFolder,
                                  OnUiThread(this, &CkinettaDlg::OnSourceRead), byNames);
}

void CkinettaDlg::OnSourceRead(unsigned serial, ReadSourceResult result) {
    if (serial == 0 || serial != sourceScan_ || state_.shutDown_ || !result.catalogue) return;
    const bool byNames = result.catalogue->NamesOnly() && result.ok;
    ShowReadSource(std::move(result));
    if (byNames) StartSourceVerify(); // the tree shown is the names': the whole read follows
}

void CkinettaDlg::ShowReadSource(ReadSourceResult result) {
    sourceScan_ = 0;
    const std::string path = sourceScanPath_;
    const SourceKind kind = sourceScanKind_;
    const bool byNames = result.catalogue->NamesOnly();
    state_.voltageTrace_ = kind == kSourceCard && HasTraceMarker(path);
    if (!AdoptSource(std::move(result.catalogue), path, result.ok)) return;
    CloseRecording();
    if (result.item < 0) {
        filer_->SetScanResult(catalogue_->Entries(), catalogue_->Family()); // ListRebuilt follows
        if (!state_.rows_.empty()) SelectRecording(0, kOpenBySelection);
    } else {
        sourceVerifyFolder_ = catalogue_->Tree()[static_cast<size_t>(result.item)].path;
        ShowFolderEntries(result.item, std::move(result.entries), false);
    }
    // The update check asks with the versions a whole read gathers.
    if (!byNames) emit state_.SourceOpened();
    if (sourceScanResume_) ResumeLastRecording(Settings());
    UpdateToolbar();
}

void CkinettaDlg::StartSourceVerify() {
    const RecorderFamily family = CurrentFamily();
    sourceVerify_ = sourceVerifier_.ScanSource(sourceScanPath_, sourceScanKind_, family,
                                               ContainerProbe(family), sourceVerifyFolder_,
                                               OnUiThread(this, &CkinettaDlg::OnSourceVerified));
}

namespace {
// The item of `from` at index `item` in `to` (by its path); -1 when gone.
int SameItemIn(const std::vector<TreeItem>& from, int item, const std::vector<TreeItem>& to) {
    if (item < 0 || item >= static_cast<int>(from.size())) return -1;
    return FindTreeItem(to, from[static_cast<size_t>(item)].path);
}
} // namespace

void CkinettaDlg::OnSourceVerified(unsigned serial, ReadSourceResult result) {
    if (serial == 0 || serial != sourceVerify_ || state_.shutDown_ || !result.catalogue) return;
    sourceVerify_ = 0;
    if (!catalogue_ || !catalogue_->NamesOnly()) return;
    const std::vector<TreeItem>& before = catalogue_->Tree();
    const std::vector<TreeItem>& after = result.catalogue->Tree();
    const bool same = before == after;
    // The folder shown and the one being read for the list, in the whole tree.
    const int shown = SameItemIn(before, filer_->SelectedFolderItem(), after);
    const int reading = folderScan_ != 0 ? SameItemIn(before, folderScanItem_, after) : -1;
    if (result.ok && (same || (shown >= 0 && (folderScan_ == 0 || reading >= 0)))) {
        // The list, the recording open and the folder shown stay as they
        // are; the whole catalogue (every recording measured, the versions)
        // takes the place of the one by names, with the marks the flows set
        // meanwhile. Only a tree that turned out otherwise (a folder of
        // unfinished recordings only) is shown again.
        std::unordered_set<std::string> marked;
        for (const RecordingEntry& e : catalogue_->Entries())
            if (e.marked) marked.insert(e.frontPath + '\n' + e.rearPath);
        if (!same) {
            filer_->SetFolderTree(after, result.catalogue->Family());
            filer_->SelectFolderItem(shown);
            if (folderScan_ != 0) folderScanItem_ = reading;
        }
        catalogue_ = std::move(result.catalogue);
        state_.source_ = catalogue_.get();
        if (!marked.empty())
            for (RecordingEntry& e : catalogue_->MutableEntries())
                if (marked.count(e.frontPath + '\n' + e.rearPath)) e.marked = 1;
        emit state_.SourceOpened();
        return;
    }
    // The folder shown is not part of the source after all (or the source
    // could not be read again): the source is shown as read.
    sourceScanResume_ = false;
    ShowReadSource(std::move(result));
}

// The last recording of the previous run, kept under "SOURCE": its folder,
// its file and the position (frames). Written at shutdown while a recording
// is loaded; read back at start-up when that folder and file are still part
// of the source.
namespace {
constexpr const char* kLastFolderKey = "LASTFOLDER";
constexpr const char* kLastRecordingKey = "LASTRECORDING";
constexpr const char* kLastPositionKey = "LASTPOSITION";
} // namespace

void CkinettaDlg::RememberLastRecording() {
    const RecordingEntry* e = state_.SelectedEntry();
    const int item = filer_ ? filer_->SelectedFolderItem() : -1;
    if (!e || !state_.loaded_ || !catalogue_ || item < 0 ||
        item >= static_cast<int>(catalogue_->Tree().size()))
        return;
    SettingsStore& settings = Settings();
    settings.Write("SOURCE", kLastFolderKey, catalogue_->Tree()[static_cast<size_t>(item)].path);
    settings.Write("SOURCE", kLastRecordingKey, e->DisplayedPath());
    settings.Write("SOURCE", kLastPositionKey, std::to_string(std::max(0LL, play_.Position())));
}

void CkinettaDlg::ResumeLastRecording(SettingsStore& settings) {
    const std::string folder = settings.Read("SOURCE", kLastFolderKey);
    const std::string file = settings.Read("SOURCE", kLastRecordingKey);
    if (folder.empty() || file.empty() || !catalogue_) return;
    const int item = FindTreeItem(catalogue_->Tree(), folder);
    if (item < 0) return;
    if (filer_->SelectedFolderItem() != item) ShowFolder(item, false);
    int row = -1;
    FlowResume resume;
    {
        std::lock_guard lock(state_.RowsLock());
        for (size_t r = 0; r < state_.rows_.size() && row < 0; ++r)
            if (state_.rows_[r].DisplayedPath() == file) {
                row = static_cast<int>(r);
                resume.front = state_.rows_[r].frontPath;
                resume.rear = state_.rows_[r].rearPath;
            }
    }
    if (row < 0) return;
    // Opened as a selection opens it (stopped), then brought to the frame.
    resume.frame = std::max(0, kutil::LeadingInt(settings.Read("SOURCE", kLastPositionKey)));
    resume.engine = kEngineStopped;
    resumeOpen_ = resume;
    if (row != state_.SelectedIndex()) SelectRecording(row, kOpenBySelection, true);
}

void CkinettaDlg::Shutdown() {
    if (state_.shutDown_ || !state_.started_) {
        state_.shutDown_ = true;
        return;
    }
    RememberLastRecording();
    state_.shutDown_ = true;
    // A file flow stops between two files (nothing is left half-written);
    // the update check stops.
    state_.EmitShutdownStep(ShutdownStep::kStopWork);
    // Size multipliers of the normal window, with the view scale back at 1.0.
    views_.LeaveFullScreen();
    if (isMaximized()) showNormal();
    for (int camera = 0; camera < 2; ++camera)
        view_.ResetZoom(camera);
    SaveMultipliers();
    // The floating windows keep their sizes for the next run as well.
    views_.Floating().SaveMultipliers();
    KillTimer(kTimerIdle);
    if (playback_.GetState(play_.MasterCamera()) != kEnginePaused)
        playback_.Pause(state_.cameraSelection_);
    play_.StopPlayback();
    ResetViews();
    play_.StopTimers();
    for (auto& [id, timer] : timers_)
        timer->stop();
    // No worker may still post or hold a lock once the engines are gone.
    prefetch_.Join();
    folderScanner_.Stop();
    sourceVerifier_.Stop();
    // The bar's stepping first (it must not step past the engines), then the
    // features' windows (the update notice, the map: monitor, bridge,
    // windows), then the second movie window.
    views_.StopPointerWork();
    state_.EmitShutdownStep(ShutdownStep::kEndWindows);
    views_.EndSecondMovie();
    watch_.reset();
    playback_.ReleaseTelemetry();
    playback_.CloseMovies();
    playback_.ReleaseTrackCache();
    playback_.TermEngines();
    state_.Note("engines ended");
    { std::lock_guard lock(state_.lock_); }
    state_.EmitShutdownStep(ShutdownStep::kTakeLocks);
}

void CkinettaDlg::closeEvent(QCloseEvent* event) {
    // QDialog would turn the close into reject(), which the viewer ignores.
    Shutdown();
    event->accept();
    setResult(QDialog::Rejected);
}

void CkinettaDlg::reject() {
    // Escape does not close the viewer; the close button does.
}

} // namespace kinetta
