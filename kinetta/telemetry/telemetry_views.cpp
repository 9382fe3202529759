#include "kinetta/telemetry/telemetry_views.h"

#include <QWidget>

#include "kinetta/telemetry/graph_plan.h"

namespace kinetta {

TelemetryViews::TelemetryViews(QWidget* window, TelemetryAccess* access,
                               playcore::RecorderFamily family)
    : access_(access), family_(family), graph_(new CGSensorDlg(access, &flags_, window)),
      panel_(new CInfoDlg(family, window)) {}

void TelemetryViews::SetFamily(playcore::RecorderFamily family) {
    family_ = family;
    panel_->SetFamily(family);
}

void TelemetryViews::Place(const QRect& graph, const QRect& panel, double s, bool maximised,
                           bool shown) {
    chrome_ = shown;
    graph_->setVisible(shown && graphShown_);
    panel_->setVisible(shown && panelShown_);
    if (!shown) return;
    graph_->SetScale(s);
    panel_->SetScale(s);
    panel_->SetPanelScale(maximised ? 1.15 : 1.0);
    graph_->setGeometry(graph);
    panel_->setGeometry(panel);
}

void TelemetryViews::Prepare(const Recording& r) {
    PanelState& st = panel_->State();
    int rangeIndex = 0;
    double stretch = 1.0;
    {
        TelemetryLock lock(access_);
        const playcore::sGPSREADER* reader = lock.Reader();
        st.hasData = reader && !reader->accel.empty();
        if (reader && !reader->gps.empty()) st.startTime = reader->gps.front().time;
        if (family_ == playcore::RecorderFamily::TX50) {
            st.flagA = reader ? reader->info.flagA : 1;
            st.flagB = reader ? reader->info.flagB : 1;
        }
        if (reader) {
            rangeIndex = RangeIndexFor(reader->maxAccel);
            const auto n = static_cast<long long>(reader->frameTable.size());
            if (n > 0 && r.pairLength > 0) stretch = static_cast<double>(r.pairLength) / n;
        }
    }
    st.frameDurationMs = r.frameDurationMs;
    st.timeLapse = r.timeLapse;
    st.resolutionIcon = ResolutionIconFor(r.videoHeight);
    st.voltageTrace = r.voltageTrace;
    st.parkingVoltage = r.voltageTrace && r.parking;
    graph_->Open(family_, r.parking, rangeIndex, stretch);
    prepared_ = true;
    RebuildEventList();
    panel_->update();
}

void TelemetryViews::UpdateAt(long long frame) {
    if (!prepared_) return;
    TelemetryLock lock(access_);
    const playcore::sGPSREADER* reader = lock.Reader();
    const playcore::AccelRecord* rec = nullptr;
    if (reader && frame >= 0 && static_cast<size_t>(frame) < reader->frameTable.size())
        rec = reader->frameTable[static_cast<size_t>(frame)];
    panel_->State().ApplyRecord(static_cast<int>(frame), rec);
    panel_->update();
    graph_->SetPosition(frame);
}

void TelemetryViews::Reset() {
    prepared_ = false;
    {
        std::lock_guard lock(listMutex_);
        events_.clear();
    }
    graph_->Close();
    // The block's flag bytes of the next recording are read when it opens.
    panel_->State().flagA = panel_->State().flagB = 1;
    panel_->Reset();
}

void TelemetryViews::RebuildEventList() {
    std::lock_guard list(listMutex_);
    events_.clear();
    if (!prepared_) return;
    TelemetryLock lock(access_);
    playcore::sGPSREADER* reader = lock.Reader();
    if (!reader) return;
    events_ = BuildEventList(reader->frameTable, reader->accel, flags_.listing, family_);
}

void TelemetryViews::ApplyInfoCheck(const InfoCheck& check) {
    panelShown_ = check.panelShown;
    graphShown_ = check.graphShown;
    graph_->setVisible(chrome_ && graphShown_);
    panel_->setVisible(chrome_ && panelShown_);
    panel_->SetAxisStates(check.axisOn);
    for (int axis = 0; axis < 3; ++axis)
        flags_.Set(AxisButtonEntry(axis), check.axisOn[static_cast<size_t>(axis)]);
    if (prepared_) RebuildEventList();
    graph_->update();
    panel_->update();
}

InfoCheck TelemetryViews::CurrentInfoCheck() const {
    InfoCheck c;
    c.panelShown = panelShown_;
    c.graphShown = graphShown_;
    c.axisOn = panel_->AxisStates();
    return c;
}

void TelemetryViews::OnIconFilter(int axis, bool on) {
    flags_.Set(AxisButtonEntry(axis), on);
    // The button shows (and "INFOCHECK" keeps) what the graph draws.
    if (axis >= 0 && axis < 3 && panel_->AxisOn(axis) != on) {
        std::array<bool, 3> states = panel_->AxisStates();
        states[static_cast<size_t>(axis)] = on;
        panel_->SetAxisStates(states);
    }
    RebuildEventList();
    graph_->update();
    panel_->update();
}

void TelemetryViews::OnSettingsNotify(int switchIndex, bool on) {
    flags_.Set(SettingsSwitchEntry(switchIndex), on);
    RebuildEventList();
    graph_->update();
}

std::optional<long long> TelemetryViews::PreviousEvent(long long current) {
    std::lock_guard list(listMutex_);
    TelemetryLock lock(access_);
    return PreviousEventFrame(events_, flags_.drawing, current);
}

std::optional<long long> TelemetryViews::NextEvent(long long current) {
    std::lock_guard list(listMutex_);
    TelemetryLock lock(access_);
    return NextEventFrame(events_, flags_.drawing, current);
}

EventList TelemetryViews::Events() {
    std::lock_guard list(listMutex_);
    return events_;
}

} // namespace kinetta
