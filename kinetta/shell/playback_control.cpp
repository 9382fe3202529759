#include "kinetta/shell/playback_control.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "kinetta/base/settings_store.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/playback_rules.h"

namespace kinetta {

void PlaybackControl::LoadVolume(const std::string& stored) {
    volume_ = stored.empty() ? 65535 : std::clamp(std::atoi(stored.c_str()), 0, 65535);
    if (stored == std::to_string(volume_)) storedVolume_ = volume_; // nothing to write back
}

void PlaybackControl::SetVolume(int cam, int volume, bool store) {
    volume_ = std::clamp(volume, 0, 65535);
    if (store && volume_ != storedVolume_ &&
        Settings().Write("DISPLAY", "VOLUME", std::to_string(volume_)))
        storedVolume_ = volume_;
    session_.SetVolume(cam, volume_);
}

bool PlaybackControl::FadeInStep(int cam) {
    fadeLevel_ = FadeInLevel(fadeLevel_, volume_);
    session_.SetVolume(cam, fadeLevel_);
    return fadeLevel_ < volume_;
}

void PlaybackControl::FadeOut(int cam) {
    for (int level = fadeLevel_ > 0 ? std::min(fadeLevel_, volume_) : volume_; level > 0;
         level -= kFadeOutStep) {
        session_.SetVolume(cam, level);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fadeLevel_ = 0;
    session_.SetVolume(cam, 0);
}

bool PlaybackControl::CheckNearEnd(bool loaded, int masterCam, int speedEngine, int volumeCam) {
    if (nearEnd_) return true;
    if (!loaded || session_.GetState(masterCam) != playcore::kEnginePlaying) return false;
    const long long length = session_.GetLength(masterCam);
    const long long position = session_.GetPosition(masterCam);
    const int margin =
        SeekMargin(session_.CurrentSpeedStep(speedEngine), session_.GetFrameDuration(masterCam));
    if (length <= 0 || position + margin < length) return false;
    FadeOut(volumeCam);
    nearEnd_ = true;
    return true;
}

} // namespace kinetta
