#pragma once
// Helpers of the widget tests: one QApplication for the process, a window that
// records the private messages it receives, and synthetic pointer events.

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <vector>

#include "kinetta/base/window_message.h"
#include "kinetta/skin/command_target.h"

namespace ktest {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "kinetta-skin-test";
    static char* argv[] = {name, nullptr};
    // Without a display (for example a plain terminal) the tests still run offscreen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Delivers every posted event.
inline void Pump() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Whether label draws its text character for character, as a plain-text label
// of the same font, colours, alignment and size draws it: markup in a name
// (bold, italics, hidden tags) draws differently.
inline bool ShowsLiterally(const QLabel* label) {
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setFont(label->font());
    // The colours the label inherits from its window, set on the stand-alone copy.
    QPalette colours = plain.palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Text})
        colours.setColor(role, label->palette().color(role));
    plain.setPalette(colours);
    plain.setAlignment(label->alignment());
    plain.setWordWrap(label->wordWrap());
    plain.setIndent(label->indent());
    plain.setMargin(label->margin());
    plain.setContentsMargins(label->contentsMargins());
    plain.setText(label->text());
    plain.resize(label->size());
    const auto picture = [](QWidget* w) {
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    return picture(const_cast<QLabel*>(label)) == picture(&plain);
}

struct Received {
    int message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// A parent window that records the messages posted to it and the commands of
// its controls.
class RecordingWindow : public QWidget, public kinetta::CommandTarget {
public:
    std::vector<Received> messages;
    std::vector<int> commands;

    void OnCommand(int id) override { commands.push_back(id); }
    std::vector<Received> Take() {
        Pump();
        auto out = std::move(messages);
        messages.clear();
        return out;
    }

protected:
    bool event(QEvent* e) override {
        if (const auto* m = kinetta::AsWindowMessage(e)) {
            messages.push_back({m->Message(), m->WParam(), m->LParam()});
            return true;
        }
        return QWidget::event(e);
    }
};

// Sends a pointer event at local point (x, y) of w (the screen point follows
// from w's place when it is shown).
inline void Mouse(QWidget* w, QEvent::Type type, QPointF local,
                  Qt::MouseButton button = Qt::LeftButton) {
    const QPointF global = w->isVisible() ? QPointF(w->mapToGlobal(local)) : local;
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent e(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The same with an explicit screen point (for the resize frame, which works in
// screen coordinates).
inline void MouseAt(QWidget* w, QEvent::Type type, QPoint global,
                    Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(global - w->pos()), QPointF(global),
                  type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Runs action on the modal dialog once it is shown (while a modal exec() runs).
inline void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

} // namespace ktest
