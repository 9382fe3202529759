#include "tools/kinetta-cli/draw/draw_support.h"

#include <QSurfaceFormat>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "playcore/models/video_frame.h"
#include "playcore/present/offscreen_surface.h"

namespace kcli {

bool HaveDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

std::unique_ptr<QGuiApplication> MakeGuiApplication() {
    QSurfaceFormat::setDefaultFormat(playcore::PresenterSurfaceFormat());
    // QGuiApplication keeps references to argc and argv for its lifetime.
    static int argc = 1;
    static char name[] = "kinetta-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

bool ParseSize(const std::string& s, int* w, int* h) {
    int a = 0, b = 0;
    char x = 0, extra = 0;
    if (std::sscanf(s.c_str(), "%d%c%d%c", &a, &x, &b, &extra) != 3 || (x != 'x' && x != 'X'))
        return false;
    if (a < 1 || b < 1 || a > playcore::kMaxFrameSide || b > playcore::kMaxFrameSide) return false;
    *w = a;
    *h = b;
    return true;
}

bool ParseWhole(const std::string& s, long long low, long long high, long long* v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || n < low || n > high) return false;
    *v = n;
    return true;
}

} // namespace kcli
