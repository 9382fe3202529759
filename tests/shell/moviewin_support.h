#pragma once
// A fake main window for the movie-window tests: it records the engine calls
// and answers the movie area's questions from plain fields. Like the dewarped
// view, a drag is measured from the committed pose.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <string>
#include <vector>

#include "kinetta/shell/movie_area_pointer.h"
#include "skin/gui_support.h"

namespace ktest {

struct DragCall {
    int camera;
    float dx, dy, scale;
};

class FakeMain : public kinetta::MovieAreaHost {
public:
    std::vector<DragCall> drags;
    std::vector<std::string> calls; // "drag", "commit", "reset", "redraw" in order
    int state = 2;                  // Playing
    bool acceptDrag = true;
    float baseX = 0, baseY = 0, curX = 0, curY = 0; // committed pose, current drag
    int camera = 0, model = 3;
    double zoom = 1.0;
    QSize size{600, 300};
    QPoint cursor;
    bool zoomMode = false, nearEnd = false;
    Qt::CursorShape shape = Qt::ArrowCursor;
    std::vector<QPoint> clicks, menus;
    int fullScreens = 0, scaleResets = 0;

    float PoseX() const { return baseX + curX; }
    float PoseY() const { return baseY + curY; }

    bool DragView(int cam, float dx, float dy, float scale) override {
        drags.push_back({cam, dx, dy, scale});
        calls.push_back("drag");
        if (acceptDrag) curX = dx, curY = dy;
        return acceptDrag;
    }
    void CommitViewRotation(int) override {
        calls.push_back("commit");
        baseX += curX, baseY += curY;
        curX = curY = 0;
    }
    void ResetModelPose(int) override {
        calls.push_back("reset");
        baseX = baseY = curX = curY = 0;
    }
    int CameraState(int) const override { return state; }
    void Redraw(int) override { calls.push_back("redraw"); }
    int Camera() const override { return camera; }
    int DisplayModel() const override { return model; }
    double ZoomFactor() const override { return zoom; }
    QSize ClientSize() const override { return size; }
    QPoint CursorPosition() const override { return cursor; }
    void SetPointerCursor(Qt::CursorShape s) override { shape = s; }
    bool InZoomMode() const override { return zoomMode; }
    bool NearEnd() const override { return nearEnd; }
    void ReportClick(QPoint p) override { clicks.push_back(p); }
    void ResetViewScale() override { ++scaleResets; }
    void RequestFullScreen() override { ++fullScreens; }
    void OpenMenu(QPoint p) override { menus.push_back(p); }
};

// Processes events until done() holds; false when it never did within a
// generous limit (a hang, not a speed figure).
template <typename F> bool PumpUntil(F done, int limitMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace ktest
