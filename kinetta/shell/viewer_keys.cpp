#include "kinetta/shell/viewer_keys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include <array>

#include "kinetta/base/command_ids.h"

namespace kinetta {

namespace {

// The commands that have keys of their own, with those keys.
struct CommandKey {
    int command;
    QKeyCombination key;
};

constexpr std::array<CommandKey, 9> kCommandKeys = {{
    {kCmdPlayPause, QKeyCombination(Qt::Key_Space)},
    {kCmdPrevious, QKeyCombination(Qt::Key_PageUp)},
    {kCmdNext, QKeyCombination(Qt::Key_PageDown)},
    {kCmdToStart, QKeyCombination(Qt::Key_Home)},
    {kCmdStill, QKeyCombination(Qt::ControlModifier, Qt::Key_S)},
    {kCmdBrowse, QKeyCombination(Qt::ControlModifier, Qt::Key_O)},
    {kCmdMapDisplay, QKeyCombination(Qt::Key_M)},
    {kCmdFastForward, QKeyCombination(Qt::Key_Plus)},
    {kCmdSlow, QKeyCombination(Qt::Key_Minus)},
}};

// A widget that edits text keeps its keys.
bool EditsText(const QWidget* w) {
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
        qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
        return true;
    const auto* combo = qobject_cast<const QComboBox*>(w);
    return combo && combo->isEditable();
}

} // namespace

ViewerKeys::ViewerKeys(QWidget* window, Host host)
    : QObject(window), window_(window), host_(std::move(host)) {
    qApp->installEventFilter(this);
}

ViewerKeys::~ViewerKeys() {
    if (qApp) qApp->removeEventFilter(this);
}

bool ViewerKeys::Covers(const QWidget* widget) const {
    const QWidget* top = widget->window();
    if (top == window_) return true;
    // A floating frame of the window; not a menu, a tool tip or a modal dialog.
    if (top->windowType() == Qt::Popup || top->windowType() == Qt::ToolTip || top->isModal())
        return false;
    for (const QWidget* p = top->parentWidget(); p; p = p->parentWidget())
        if (p == window_) return true;
    return false;
}

bool ViewerKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* widget = static_cast<QWidget*>(watched);
    // A key a text field edits with is its own; one it leaves comes on to its
    // parent, where this filter sees it again.
    if (EditsText(widget) || !Covers(widget)) return false;
    // While a modal dialog is open the window takes no key at all.
    if (QApplication::activeModalWidget()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    return Act(key->key(), key->modifiers());
}

bool ViewerKeys::Act(int key, Qt::KeyboardModifiers modifiers) {
    // The number pad's keys are the same keys; plus and minus are typed with
    // Shift on many layouts.
    modifiers &= ~Qt::KeypadModifier;
    if (key == Qt::Key_Plus || key == Qt::Key_Minus) modifiers &= ~Qt::ShiftModifier;
    for (const CommandKey& row : kCommandKeys)
        if (row.key.key() == key && row.key.keyboardModifiers() == modifiers) {
            host_.command(row.command);
            return true;
        }
    const bool plain = modifiers == Qt::NoModifier;
    const bool shift = modifiers == Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (plain) host_.seekBy(key == Qt::Key_Left ? -5.0 : 5.0);
        if (shift) host_.step(key == Qt::Key_Left ? -1 : 1);
        return plain || shift;
    case Qt::Key_End:
        if (plain) host_.toEnd();
        return plain;
    case Qt::Key_F11:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (plain) host_.toggleFullScreen();
        return plain;
    case Qt::Key_Escape:
        // Escape only leaves full screen; it never closes the viewer.
        if (plain && host_.fullScreen()) host_.toggleFullScreen();
        return plain;
    default:
        return false;
    }
}

QList<QKeySequence> ViewerKeys::KeysOf(int command) {
    QList<QKeySequence> keys;
    for (const CommandKey& row : kCommandKeys)
        if (row.command == command) keys << QKeySequence(row.key);
    return keys;
}

QString ViewerKeys::TipWithKeys(const QString& tip, int command) {
    const QList<QKeySequence> keys = KeysOf(command);
    if (keys.isEmpty()) return tip;
    QStringList names;
    for (const QKeySequence& k : keys)
        names << k.toString(QKeySequence::NativeText);
    return tip + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace kinetta
