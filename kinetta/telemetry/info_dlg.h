#pragma once
// CInfoDlg: the information panel, a child of the main window. It shows, for
// the playback position, the picture's date and time, the speed, the three
// acceleration values, the playback speed, the voltage of parking recordings
// and the resolution, camera and GPS icons, over the skin's artwork. Its three
// axis buttons (38600 X, 38601 Y, 38602 Z) toggle and post UM_ICON_FILTER
// (0x82BD) to the parent with wParam 0, 1, 2 and lParam the new state.
//
// The panel holds only copies of values (PanelState); the main window writes
// them and the panel repaints. UI thread only.

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

#include "kinetta/skin/command_target.h"
#include "kinetta/telemetry/panel_state.h"

namespace kinetta {

class CSkinButton;

inline constexpr int kAxisButtonFirst = 38600;

// The texts the panel draws for a state (also `kinetta-cli panel`).
struct PanelTexts {
    std::string dateTime;
    std::string speed; // the value, "OFF", or empty for the placeholder picture
    bool speedUnitShown = false;
    bool speedPlaceholder = false;
    bool gpsOff = false;          // "OFF" beside the GPS icon
    std::array<std::string, 3> g; // empty: the placeholder picture
    bool voltageShown = false;
    std::string voltage;       // empty: the placeholder picture (when shown)
    int resolutionPicture = 0; // 0 none
    int cameraPicture = 0;
    bool gpsIcon = false;
};
PanelTexts ComposePanelTexts(const PanelState& s, playcore::RecorderFamily family);

class CInfoDlg : public QWidget, public CommandTarget {
public:
    CInfoDlg(playcore::RecorderFamily family, QWidget* parent);

    void SetFamily(playcore::RecorderFamily family) { family_ = family; }
    PanelState& State() { return state_; }
    const PanelState& State() const { return state_; }
    // Writes the reset values and repaints at once.
    void Reset();
    // Playback speed text ("再生速度x1.0" ...), empty for none.
    void SetSpeedText(const QString& text);
    QString SpeedText() const { return speedText_; }
    // 1.15 while the main window is maximised, else 1.0.
    void SetPanelScale(double scale);
    // The display scale S; re-places the buttons.
    void SetScale(double s);
    bool AxisOn(int axis) const { return axisOn_[static_cast<size_t>(axis & 3) % 3]; }
    CSkinButton* AxisButton(int axis) const { return buttons_[static_cast<size_t>(axis) % 3]; }
    // Sets the axis buttons' states as remembered (posts nothing).
    void SetAxisStates(const std::array<bool, 3>& on);
    const std::array<bool, 3>& AxisStates() const { return axisOn_; }
    // The texts drawn now.
    PanelTexts Texts() const { return ComposePanelTexts(state_, family_); }
    const QImage& Picture() const { return picture_; }

    void OnCommand(int id) override;

    // Draws the panel for state into *image of size (also `kinetta-cli panel`).
    // With axisButtons (three on/off states) the axis buttons are drawn into
    // the picture too; the window's buttons are child controls that draw
    // themselves.
    static void Draw(QImage* image, QSize size, const PanelState& state,
                     playcore::RecorderFamily family, const QString& speedText, double s,
                     double panelScale, const std::array<bool, 3>* axisButtons = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PlaceButtons();

    playcore::RecorderFamily family_;
    PanelState state_;
    QString speedText_;
    double scale_ = 1.0, panelScale_ = 1.0;
    std::array<bool, 3> axisOn_{true, true, true};
    std::array<CSkinButton*, 3> buttons_{};
    QImage picture_;
};

} // namespace kinetta
