#include "kinetta/clips/clip_feature.h"

#include <QCursor>
#include <QMenu>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/ui_text.h"
#include "kinetta/fileops/file_ops.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/telemetry_feature.h"

namespace kinetta {

ClipFeature::ClipFeature(ViewerState& viewer, CFileOps& ops, TelemetryFeature& telemetry)
    : ViewerFeature(viewer), ops_(ops), telemetry_(telemetry), prefetch_(DigestCache::Shared()) {
    // A menu offered for a recording that is given up (or a list that
    // changed) would cut the wrong thing: it goes with them.
    auto drop = [this] {
        if (menu_) menu_->close();
    };
    connect(&viewer, &ViewerState::RecordingClosed, this, drop);
    connect(&viewer, &ViewerState::ListRebuilt, this, drop);
    // Once the recording is shown, the digests its clips' index needs are
    // computed in the background, so that a clip finds them in the cache.
    connect(&viewer, &ViewerState::RecordingPrepared, this, [this] {
        if (const RecordingEntry* entry = viewer_.SelectedEntry())
            prefetch_.Want({entry->frontPath, entry->rearPath});
    });
    connect(&viewer, &ViewerState::ShuttingDown, this, [this](ShutdownStep step) {
        if (step == ShutdownStep::kStopWork) prefetch_.Stop();
    });
}

QMenu* ClipFeature::OfferedMenu() const {
    return menu_.data();
}

void ClipFeature::OnCommand(int id) {
    if (id != kCmdClipEvent || !viewer_.Loaded() || viewer_.Busy()) return;
    const RecordingEntry* entry = viewer_.SelectedEntry();
    if (!entry) return;
    // The position is read before the flow closes the movies.
    Start(*entry, {ClipAt::NearestEvent, viewer_.Ask().position(), -1});
}

void ClipFeature::OnMessage(const WindowMessage& m) {
    if (viewer_.Busy() || ops_.Running()) return;
    if (m.Message() == UM_CLIP_AT_EVENT) {
        const RecordingEntry* entry = viewer_.SelectedEntry();
        if (!entry || !viewer_.Loaded()) return;
        Offer(*entry, {ClipAt::EventOfKind, m.LParam(), static_cast<int>(m.WParam())});
    } else if (m.Message() == UM_CLIP_AT_ROW) {
        const std::vector<RecordingEntry> rows = viewer_.Rows();
        if (m.WParam() >= rows.size()) return;
        Offer(rows[m.WParam()], {ClipAt::FirstEvent, 0, -1});
    }
}

void ClipFeature::Offer(const RecordingEntry& entry, const ClipTarget& target) {
    if (menu_) menu_->close();
    auto* menu = new QMenu(viewer_.Window());
    menu->setObjectName(QStringLiteral("clip menu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setFont(SharedFont(kFont10));
    QAction* clip = menu->addAction(Text(kStrClipEvent));
    // Queued: the flow opens its folder prompt after the menu has gone.
    connect(
        clip, &QAction::triggered, this, [this, entry, target] { Start(entry, target); },
        Qt::QueuedConnection);
    menu_ = menu;
    menu->popup(QCursor::pos());
}

bool ClipFeature::Start(const RecordingEntry& entry, const ClipTarget& target) {
    // The switches as the graph and the map list events now.
    const std::array<bool, 10> listed = telemetry_.Views().Flags().listing;
    return ops_.Run([this, entry, target, listed]() -> JobControl::Work {
        const std::string folder = ops_.AskFolder(kClipFolderKey, kStrSelectBackupFolder);
        if (folder.empty()) return {};
        ClipRequest request;
        std::string why;
        if (!RequestForTarget(entry, CurrentFamily(), target, ReadClipSeconds(Settings()), listed,
                              &request, &why)) {
            ops_.ShowError(Text(kStrClipFailed) + QStringLiteral("\n") +
                           QString::fromStdString(why));
            return {};
        }
        request.folder = folder;
        return [request, watch = watch_](JobControl& job) -> std::uint32_t {
            if (watch) watch(request);
            return RunClipJob({request}, true, job);
        };
    });
}

} // namespace kinetta
