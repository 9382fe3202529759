#include "playcore/player/player_rules.h"

#include <algorithm>

namespace playcore {

int PresentationStreamIndex(int fileIndex, int streamCount) {
    if (fileIndex < 0 || fileIndex >= streamCount) return -1;
    return streamCount - 1 - fileIndex;
}

int WindowOfBranch(int branch) {
    return branch == 0 || branch == 1 ? branch : -1;
}

bool HasSecondCamera(bool combinedFile, int cameraIndex, int videoStreamCount) {
    return combinedFile ? (cameraIndex == 0 && videoStreamCount == 2) : cameraIndex == 1;
}

bool ThinningForRate(float rate) {
    return rate >= kThinningRate;
}

bool IsPlayableRate(float rate) {
    return rate >= kMinPlayRate && rate <= kMaxPlayRate;
}

float ChannelVolume(int volume) {
    return static_cast<float>(std::clamp(volume, 0, 65535)) / 65535.0f;
}

std::optional<PlayerState> NextPlayerState(PlayerState from, PlayerEvent event) {
    using S = PlayerState;
    switch (event) {
    case PlayerEvent::SessionCreated:
        if (from == S::Closed) return S::Ready;
        break;
    case PlayerEvent::TopologySet:
        if (from == S::Ready) return S::OpenPending;
        break;
    case PlayerEvent::TopologyReady:
        if (from == S::OpenPending) return S::Stopped;
        break;
    case PlayerEvent::Play:
        if (from == S::Paused || from == S::Stopped) return S::Started;
        break;
    case PlayerEvent::Pause:
        if (from == S::Started) return S::Paused;
        break;
    case PlayerEvent::EndOfPresentation:
        if (from == S::Started) return S::Stopped;
        break;
    case PlayerEvent::NewPresentation:
        if (from != S::Closing) return S::OpenPending;
        break;
    case PlayerEvent::Close:
        return S::Closing;
    case PlayerEvent::Closed:
        if (from == S::Closing) return S::Closed;
        break;
    case PlayerEvent::OpenFailed:
        return S::Closed;
    }
    return std::nullopt;
}

} // namespace playcore
