#pragma once
// Tells the main window when the display comes back on: the desktop session's
// screensaver ends (org.freedesktop.ScreenSaver or org.gnome.ScreenSaver
// "ActiveChanged" false on the session bus) or a screen is connected. A
// session without those interfaces simply never reports; that is no error.
// UI thread only.

#include <QObject>

#include <functional>

namespace kinetta {

class DisplayPowerWatch : public QObject {
    Q_OBJECT
public:
    explicit DisplayPowerWatch(std::function<void()> displayOn);
    // What the session's signal or a new screen triggers.
    void ReportDisplayOn();

public slots:
    void OnScreenSaverActiveChanged(bool active);

private:
    std::function<void()> displayOn_;
};

} // namespace kinetta
