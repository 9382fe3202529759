#pragma once
// A private window message: a Qt event whose type is the message's fixed number
// (0x8005 .. 0x8903 lie in Qt's user event range) carrying wParam and lParam.
// Messages are posted, never sent, so any thread may post them; a window's
// event() handler is its message map.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstdint>

namespace kinetta {

class WindowMessage : public QEvent {
public:
    WindowMessage(int message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), wParam_(wParam), lParam_(lParam) {}

    int Message() const { return static_cast<int>(type()); }
    std::uintptr_t WParam() const { return wParam_; }
    std::intptr_t LParam() const { return lParam_; }

private:
    std::uintptr_t wParam_;
    std::intptr_t lParam_;
};

// Posts message to target (thread-safe). Qt drops events still queued for an
// object that is deleted, so a late message to a closed window is harmless.
inline void PostWindowMessage(QObject* target, int message, std::uintptr_t wParam = 0,
                              std::intptr_t lParam = 0) {
    if (target) QCoreApplication::postEvent(target, new WindowMessage(message, wParam, lParam));
}

// The message carried by event, or null for any other event.
inline const WindowMessage* AsWindowMessage(const QEvent* event) {
    if (!event || event->type() < QEvent::User) return nullptr;
    return dynamic_cast<const WindowMessage*>(event);
}

} // namespace kinetta
