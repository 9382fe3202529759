#include "kinetta/services/display_power_watch.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>

namespace kinetta {

DisplayPowerWatch::DisplayPowerWatch(std::function<void()> displayOn)
    : displayOn_(std::move(displayOn)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"),
                    this, SLOT(OnScreenSaverActiveChanged(bool)));
        bus.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"),
                    QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                    SLOT(OnScreenSaverActiveChanged(bool)));
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::screenAdded, this, [this](QScreen*) { ReportDisplayOn(); });
}

void DisplayPowerWatch::ReportDisplayOn() {
    if (displayOn_) displayOn_();
}

void DisplayPowerWatch::OnScreenSaverActiveChanged(bool active) {
    if (!active) ReportDisplayOn();
}

} // namespace kinetta
