// kinetta-cli panel: the information panel's state and texts for one
// position of a recording, as one JSON object, and optionally its picture
// drawn through the viewer's own panel (without a display).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "kinetta/catalogue/recording_names.h"
#include "kinetta/telemetry/panel_state.h"
#include "playcore/container/file_queries.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

#include <QGuiApplication>
#include <QImage>

#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/info_dlg.h"

namespace kcli {

namespace {
const char* CameraIconName(kinetta::CameraIcon icon) {
    switch (icon) {
    case kinetta::CameraIcon::FamilyRear:
        return "familyRear";
    case kinetta::CameraIcon::Rear:
        return "rear";
    default:
        return "default";
    }
}
} // namespace

int CmdPanel(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    bool bad = false;
    const auto frameText = TakeOption(args, "--frame", &bad);
    const auto card = TakeOption(args, "--card", &bad);
    const auto out = TakeOption(args, "--out", &bad);
    const auto heightText = TakeOption(args, "--video-height", &bad);
    long long frame = 0, videoHeight = 0;
    if (bad || args.size() != 1 || !frameText || !ParseCount(*frameText, &frame) ||
        frame > 0x7FFFFFFF || (heightText && !ParseCount(*heightText, &videoHeight))) {
        std::fprintf(stderr, "usage: kinetta-cli panel --family tx40|tx50 FILE --frame N "
                             "[--card ROOT] [--out OUT.png] [--video-height H]\n");
        return 2;
    }
    const std::string& path = args[0];
    playcore::sGPSREADER reader;
    if (!LoadWithTimeBase(path, family, &reader)) {
        std::fprintf(stderr, "kinetta-cli panel: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::string name = std::filesystem::path(path).filename().string();

    std::lock_guard lock(reader.mutex);
    kinetta::PanelState s;
    // What the main window writes when the recording opens ...
    s.hasData = !reader.accel.empty();
    if (!reader.gps.empty()) s.startTime = reader.gps.front().time;
    // The frame duration the player reports: the first video track's length
    // over its frames (the probe's own figure is cut to whole milliseconds).
    {
        const playcore::FrameTimingProbe probe = playcore::ProbeFrameTiming(path, family);
        const long long frames = playcore::FirstSampleCount(path, family);
        if (!probe.cameras.empty() && frames > 0)
            s.frameDurationMs =
                static_cast<float>(probe.cameras.front().durationS * 1000.0 / double(frames));
    }
    const int lapse = kinetta::TriggerCode(name, kinetta::TriggerPosition::TimeLapse, family);
    s.timeLapse = family == kinetta::RecorderFamily::TX50 && (lapse == 7 || lapse == 8);
    s.resolutionIcon = kinetta::ResolutionIconFor(static_cast<int>(videoHeight));
    s.voltageTrace = card && kinetta::HasTraceMarker(*card);
    s.parkingVoltage = s.voltageTrace && kinetta::IsParkingRecording(name, family);
    if (family == kinetta::RecorderFamily::TX50) {
        s.flagA = reader.info.flagA;
        s.flagB = reader.info.flagB;
    }
    // ... and at the position.
    const playcore::AccelRecord* rec =
        static_cast<size_t>(frame) < reader.frameTable.size() ? reader.frameTable[frame] : nullptr;
    s.ApplyRecord(static_cast<int>(frame), rec);

    using kutil::Json;
    Json j;
    j["dateTime"] = kinetta::PanelDateTimeText(s);
    switch (kinetta::PanelSpeedShown(s)) {
    case kinetta::SpeedShown::Value:
        j["speed"] = kinetta::SpeedValueText(s.speed);
        break;
    case kinetta::SpeedShown::Off:
        j["speed"] = kinetta::kOffText;
        break;
    case kinetta::SpeedShown::Placeholder:
        j["speed"] = nullptr;
        break;
    }
    j["speedUnitShown"] = kinetta::PanelSpeedShown(s) == kinetta::SpeedShown::Value && s.flagA != 0;
    j["gpsOff"] = kinetta::GpsOffShown(s);
    const double g[3] = {s.gx, s.gy, s.gz};
    const char* keys[3] = {"gx", "gy", "gz"};
    for (int a = 0; a < 3; ++a) {
        const std::string t = kinetta::AccelText(g[a]);
        j[keys[a]] = t.empty() ? Json(nullptr) : Json(t);
    }
    if (kinetta::VoltageShown(s, family)) {
        const std::string v = kinetta::VoltageText(s.voltageTenths);
        j["voltage"] = v.empty() ? std::string("placeholder") : v + "V";
    } else {
        j["voltage"] = nullptr;
    }
    j["resolutionIcon"] = s.resolutionIcon;
    j["cameraIcon"] = CameraIconName(kinetta::CameraIconFor(s.cameraLetter));
    j["gpsIcon"] = s.gpsValid == 1;
    j["flagA"] = s.flagA;
    j["flagB"] = s.flagB;

    if (out) {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int argc = 1;
        char appName[] = "kinetta-cli";
        char* argv[] = {appName, nullptr};
        QGuiApplication app(argc, argv);
        kinetta::SetSkinScale(1.0, 1.0, 96);
        QImage image;
        const std::array<bool, 3> axisOn{true, true, true};
        kinetta::CInfoDlg::Draw(&image, QSize(569, 120), s, family, QString(), 1.0, 1.0, &axisOn);
        if (!image.save(QString::fromStdString(*out), "PNG")) {
            std::fprintf(stderr, "kinetta-cli panel: cannot write %s\n", out->c_str());
            return 1;
        }
    }
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
