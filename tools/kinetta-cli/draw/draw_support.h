#pragma once
// What the drawing commands share: the check for a display, the GUI
// application object with the presenter's surface format, and option parsing.

#include <QGuiApplication>

#include <memory>
#include <string>

namespace kcli {

// Whether a display for OpenGL is there (X, Wayland, or a Qt platform set by
// hand); without one the drawing commands fail with a message.
bool HaveDisplay();

// The application object every drawing command needs, with the presenter's
// surface format (OpenGL 3.3 core) as the default format.
std::unique_ptr<QGuiApplication> MakeGuiApplication();

// "WxH" with both sides 1..kMaxFrameSide.
bool ParseSize(const std::string& s, int* w, int* h);
// A whole number in [low, high].
bool ParseWhole(const std::string& s, long long low, long long high, long long* v);

} // namespace kcli
