#include "playcore/session/session_rules.h"

namespace playcore {

SpeedSetting ApplySpeedStep(int, SpeedStep, bool) {
    return {};
}
SpeedStep NextSpeedStep(EngineState, SpeedStep, bool, bool, bool) {
    return kSpeedNormal;
}
int64_t FramesOfTime(MediaTime, float) {
    return -1;
}
int64_t LengthInFrames(MediaTime, float) {
    return 0;
}
MediaTime TimeOfFrame(int64_t, float) {
    return 0;
}
double RearFrameScale(float, float, bool) {
    return 1.0;
}
int64_t RearLengthInFrontFrames(int64_t l1, float, float, bool) {
    return l1;
}
SeekStep PlanSeekBoth(int64_t scaled, int64_t, bool, int64_t) {
    return {true, false, scaled};
}
PairPlayPlan PlanPairPlay(const PairPlayInput&) {
    return {};
}
bool PlaceCamera(const PlacementRect&, const CameraPlacement&, int, int, PlacementRect*) {
    return false;
}
EngineCamera RouteCamera(int, bool, int) {
    return {};
}
int MasterEngine(bool, std::array<bool, 2>, std::array<bool, 2>) {
    return 0;
}
std::array<bool, 2> StreamsShown(int) {
    return {true, true};
}
std::array<int, 2> RouteVolume(int, int, bool, int) {
    return {-1, -1};
}
int OpenGate(int, float, float) {
    return 0;
}
bool StillsSaved(std::array<bool, 2>, std::array<bool, 2>, std::array<bool, 2>) {
    return false;
}

} // namespace playcore
