// kinetta-cli graph: draws the acceleration graph of a recording for one
// position, size and display scale through the viewer's own graph painter,
// without a display, and prints what it drew (cursor, marks, band) as JSON.

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "kinetta/catalogue/recording_names.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/graph_painter.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/telemetry_args.h"
#include "util/json_text.h"

namespace kcli {

int CmdGraph(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    bool bad = false;
    kinetta::DetectorFlags flags;
    const auto frameText = TakeOption(args, "--frame", &bad);
    const auto sizeText = TakeOption(args, "--size", &bad);
    const auto out = TakeOption(args, "--out", &bad);
    const auto off = TakeOption(args, "--off", &bad);
    const auto scaleText = TakeOption(args, "--scale", &bad);
    long long frame = 0;
    int width = 0, height = 0;
    double scale = 1.0;
    if (scaleText) scale = std::strtod(scaleText->c_str(), nullptr);
    if (bad || args.size() != 1 || !frameText || !ParseCount(*frameText, &frame) || !sizeText ||
        std::sscanf(sizeText->c_str(), "%dx%d", &width, &height) != 2 || width <= 0 ||
        height <= 0 || width > 16384 || height > 4096 || !out || !(scale > 0 && scale < 16) ||
        (off && !ApplyOffList(*off, &flags))) {
        std::fprintf(stderr,
                     "usage: kinetta-cli graph --family tx40|tx50 FILE --frame N --size WxH "
                     "--out OUT.png [--off ENTRY,...] [--scale S]\n");
        return 2;
    }
    const std::string& path = args[0];
    playcore::sGPSREADER reader;
    if (!LoadWithTimeBase(path, family, &reader)) {
        std::fprintf(stderr, "kinetta-cli graph: cannot read %s\n", path.c_str());
        return 1;
    }

    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "kinetta-cli";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    kinetta::SetSkinScale(scale, scale, 96);

    std::lock_guard lock(reader.mutex);
    kinetta::GraphGeometry g;
    g.family = family;
    g.scale = scale;
    g.clientWidth = width;
    g.clientHeight = height;
    g.entries = static_cast<int64_t>(reader.frameTable.size());
    g.current = frame;
    g.rangeIndex = kinetta::RangeIndexFor(reader.maxAccel);
    g.parking =
        kinetta::IsParkingRecording(std::filesystem::path(path).filename().string(), family);
    kinetta::GraphPainter painter;
    QImage image;
    painter.Paint(&image, g, true, reader.frameTable, reader.accel, flags);
    if (!image.save(QString::fromStdString(*out), "PNG")) {
        std::fprintf(stderr, "kinetta-cli graph: cannot write %s\n", out->c_str());
        return 1;
    }

    const kinetta::GraphPlan& plan = painter.LastPlan();
    kutil::Json j;
    j["ok"] = true;
    j["left"] = plan.left;
    j["plotWidth"] = plan.plotWidth;
    j["cursorX"] = plan.cursorX;
    j["columns"] = plan.columnsPlotted;
    j["rangeIndex"] = g.rangeIndex;
    j["parking"] = g.parking;
    kutil::Json marks = kutil::Json::array();
    for (int entry = 0; entry < kinetta::kDetectorCount; ++entry)
        for (const kinetta::GraphMark& m : plan.marks[static_cast<size_t>(entry)])
            marks.push_back(
                kutil::Json{{"x", static_cast<int64_t>(m.x)}, {"kind", m.kind}, {"entry", entry}});
    j["marks"] = std::move(marks);
    kutil::Json band = kutil::Json::array();
    for (const auto& [x0, x1] : plan.band)
        band.push_back(kutil::Json::array({static_cast<int64_t>(x0), static_cast<int64_t>(x1)}));
    j["band"] = std::move(band);
    j["bandTop"] = static_cast<int64_t>(plan.bandTop);
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
