#include "kinetta/shell/viewer_state.h"

#include <QLoggingCategory>

#include "kinetta/shell/movie_view_state.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

namespace {
// The ordered steps of the viewer (ShowFrame, shutdown), for the debugger
// output: QT_LOGGING_RULES="kinetta.viewer.debug=true".
Q_LOGGING_CATEGORY(lcViewer, "kinetta.viewer", QtWarningMsg)
} // namespace

ViewerState::ViewerState(playcore::PlaybackSession& session, QWidget* window,
                         platform::MessageSink* sink, const MovieViewState& view)
    : session_(session), window_(window), sink_(sink), view_(view) {}

ViewerState::~ViewerState() = default;

std::vector<RecordingEntry> ViewerState::Rows() const {
    std::lock_guard lock(lock_);
    return rows_;
}

int ViewerState::SelectedIndex() const {
    std::lock_guard lock(lock_);
    return selected_;
}

const RecordingEntry* ViewerState::SelectedEntry() const {
    // rows_ and selected_ change only on this (the UI) thread.
    if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size())) return nullptr;
    return &rows_[static_cast<size_t>(selected_)];
}

bool ViewerState::FullScreen() const {
    return view_.FullScreen();
}

bool ViewerState::Mirrored(int camera) const {
    return view_.Mirrored(camera);
}

void ViewerState::Note(std::string_view step) const {
    qCDebug(lcViewer, "%.*s", static_cast<int>(step.size()), step.data());
    if (trace_) trace_(step);
}

void ViewerState::ShowFrame(long long frame) {
    // The graph, the panel and the map read the record of this frame; the
    // bracket keeps the records still until every view has read them.
    if (!session_.LockTelemetry()) return;
    Note("telemetry locked");
    emit FrameShown(frame);
    session_.UnlockTelemetry();
    Note("telemetry unlocked");
}

void ViewerState::EmitShutdownStep(ShutdownStep step) {
    static constexpr const char* kNames[] = {"shutdown: stop work", "shutdown: end windows",
                                             "shutdown: take locks"};
    Note(kNames[static_cast<int>(step)]);
    emit ShuttingDown(step);
}

} // namespace kinetta
