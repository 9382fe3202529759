#pragma once
// ViewerKeys: the viewer's keyboard. Each key does what its toolbar button or
// gesture does, whatever child of the main window or of its floating frames
// has the focus. A text field keeps the keys it edits with (a key it does not
// use, such as F11, comes on to the window), and a modal dialog, a menu or a
// window of its own keeps every key.
//
//   Space               play / pause (38002)
//   Left / Right        5 s back / forward
//   Shift+Left / Right  one frame back / forward (a playing movie pauses first)
//   Page Up / Page Down the previous / next recording (38001 / 38005)
//   Home / End          the start (38000) / the end of the recording
//   F11, Enter          full screen on / off; Esc leaves it
//   Ctrl+S              still picture (38006)
//   Ctrl+O              the source dialog (38014)
//   M                   the map (38013)
//   + / -               faster (38004) / slower (38003), also on the number pad
//
// Commands go through the window's OnCommand, so a key is refused exactly
// when its button would be (disabled, or the movie within its last frames).
// The keys are read by an application event filter rather than shortcuts:
// shortcuts need the window to be the active one, and a freshly shown
// floating frame (the map) takes the activation.

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace kinetta {

class ViewerKeys : public QObject {
public:
    // What the keys ask of the window (UI thread).
    struct Host {
        std::function<void(int command)> command;
        // Moves the loaded recording by seconds (negative: back).
        std::function<void(double seconds)> seekBy;
        // One frame back (-1) or forward (+1), paused.
        std::function<void(int frames)> step;
        // The last frame the recording may be sought to.
        std::function<void()> toEnd;
        std::function<bool()> fullScreen;
        std::function<void()> toggleFullScreen;
    };

    // The keys act on window and its floating frames; a child of window.
    ViewerKeys(QWidget* window, Host host);
    ~ViewerKeys() override;

    // The keys of a toolbar command, for its tool tip; empty when it has none.
    static QList<QKeySequence> KeysOf(int command);
    // tip with the keys of command appended ("再生 (Space)").
    static QString TipWithKeys(const QString& tip, int command);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a key sent to widget is the viewer's to take.
    bool Covers(const QWidget* widget) const;
    // Runs the action of key with modifiers; false when it has none.
    bool Act(int key, Qt::KeyboardModifiers modifiers);

    QWidget* window_;
    Host host_;
};

} // namespace kinetta
