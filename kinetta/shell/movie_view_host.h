#pragma once
// The playback operations a movie view needs from the main window, for one
// camera index at a time (0 front, 1 rear). The main window implements them on
// the playback session. UI thread only: the inertia and the controller bar's
// steps are paced by timers of the UI thread.

namespace kinetta {

class MovieViewHost {
public:
    virtual ~MovieViewHost() = default;

    // Turns or pans the camera's display model by a drag: dx, dy are fractions
    // of a turn (60 / scale / 360 per window width or height), scale is the
    // area's zoom factor. False when the engine refuses.
    virtual bool DragView(int camera, float dx, float dy, float scale) = 0;
    // Takes the current rotation as the start of the next drag.
    virtual void CommitViewRotation(int camera) = 0;
    // Turns the dewarped view back to its initial pose.
    virtual void ResetModelPose(int camera) = 0;
    // The engine's state: 0 Closed, 1 Stopped, 2 Playing, 3 Paused.
    virtual int CameraState(int camera) const = 0;
    // Draws the current frame again (needed while Stopped or Paused).
    virtual void Redraw(int camera) = 0;
};

} // namespace kinetta
