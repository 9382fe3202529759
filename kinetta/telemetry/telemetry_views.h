#pragma once
// TelemetryViews: the main window's acceleration graph and information panel
// with what they share: the detector flags, the event list of the open
// recording and its list mutex. The main window owns one, places its two
// windows, and calls it when a recording is prepared, on every position
// change, when it gives a recording up, and for the graph's, panel's and
// settings dialog's messages.
//
// Threads: UI thread. The event list is rebuilt under listMutex (the map
// reads it under the same mutex) and the session's telemetry lock; its
// record pointers are valid until the recording's telemetry is released,
// and Reset clears it before that happens. Lock order: listMutex first, then
// the telemetry lock (both are taken on the UI thread today).

#include <QRect>
#include <QString>

#include <mutex>
#include <optional>

#include "kinetta/telemetry/event_list.h"
#include "kinetta/telemetry/gsensor_dlg.h"
#include "kinetta/telemetry/info_dlg.h"
#include "kinetta/telemetry/panel_state.h"
#include "kinetta/telemetry/telemetry_access.h"

class QWidget;

namespace kinetta {

class TelemetryViews {
public:
    // The two windows become children of window.
    TelemetryViews(QWidget* window, TelemetryAccess* access, playcore::RecorderFamily family);

    // The recorder family (decided after the windows exist).
    void SetFamily(playcore::RecorderFamily family);

    CGSensorDlg* Graph() const { return graph_; }
    CInfoDlg* Panel() const { return panel_; }

    // Places the windows (hidden while shown is false, as in full screen) at
    // display scale s; maximised: the panel's scale 1.15.
    void Place(const QRect& graph, const QRect& panel, double s, bool maximised, bool shown);

    // What the main window knows of the recording it prepares.
    struct Recording {
        bool parking = false;
        bool timeLapse = false;
        float frameDurationMs = 0;
        int videoHeight = 0;       // of the master engine's picture
        long long pairLength = 0;  // GetMasterLength, frames
        bool voltageTrace = false; // source is a card with "pvtrace.txt"
    };
    // Once per loaded recording: the panel's recording values (start time from
    // the first record, flag bytes of the TX50 block), the graph's geometry
    // state (range index, stretch ratio, parking flag) and the event list.
    void Prepare(const Recording& r);
    // The position (frames, already within the slider's range): the record
    // of that frame to the panel, the cursor to the graph.
    void UpdateAt(long long frame);
    // The recording is given up: the panel's reset values, an empty graph
    // and event list.
    void Reset();
    // The list was rebuilt: the panel's reset values.
    void ResetPanel() { panel_->Reset(); }

    void SetSpeedText(const QString& text) { panel_->SetSpeedText(text); }

    // The remembered "INFOCHECK" state: which views show outside full
    // screen and the axis buttons' states with their detector flags.
    void ApplyInfoCheck(const InfoCheck& check);
    // The state now, as "INFOCHECK" keeps it.
    InfoCheck CurrentInfoCheck() const;

    // UM_ICON_FILTER: axis wParam 0..2 drawn and listed as lParam.
    // UM_SETTINGS_NOTIFY: switch wParam 0..5 as lParam. Both repaint and
    // rebuild the event list.
    void OnIconFilter(int axis, bool on);
    void OnSettingsNotify(int switchIndex, bool on);

    // Click navigation from the current position; nothing without events.
    std::optional<long long> PreviousEvent(long long current);
    std::optional<long long> NextEvent(long long current);

    const DetectorFlags& Flags() const { return flags_; }
    std::mutex& ListMutex() { return listMutex_; }
    // A copy of the event list (under the list mutex).
    EventList Events();

private:
    void RebuildEventList();

    TelemetryAccess* access_;
    playcore::RecorderFamily family_;
    DetectorFlags flags_; // UI thread
    CGSensorDlg* graph_;  // owned by the window's child chain
    CInfoDlg* panel_;
    std::mutex listMutex_;
    EventList events_; // guarded by listMutex_
    bool prepared_ = false;
    bool panelShown_ = true, graphShown_ = true; // outside full screen
    bool chrome_ = true;                         // false in full screen
};

} // namespace kinetta
