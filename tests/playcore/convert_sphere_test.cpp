// The converted file as 360-degree players take it, checked with tools
// nobody here wrote: ffprobe reads the streams (video first) and the
// spherical side data, and ffmpeg's v360 filter, reading the file as the
// whole-sphere equirectangular picture it declares, shows mkcard's landmarks
// where mkcard's manifest puts them. Also the encoder choice on a machine
// without hardware encoders, and the plain file without the metadata.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "playcore/convert/movie_capture.h"
#include "playcore/convert/panorama_geometry.h"
#include "support/command_run.h"
#include "support/temp_dir.h"
#include "util/json_text.h"

using namespace playcore;

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;
const std::string kMkcard = ktest::BuiltTool("tools/mkcard/mkcard");
const std::string kCli = ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");

bool HaveFfmpeg() {
    static const bool have = ktest::RunCommand("ffmpeg -version && ffprobe -version").status == 0;
    return have;
}

const ktest::TempDir& Work() {
    static ktest::TempDir dir;
    return dir;
}

// A one-second front recording, made once.
const std::string& Source() {
    static const std::string path = [] {
        const std::string out = Work() / "101_101010_ANF.MP4";
        const auto r = ktest::RunCommand(kMkcard + " recording --family tx50 --size 960x540 " +
                                         "--duration 1 --out '" + out + "'");
        return r.status == 0 ? out : std::string();
    }();
    return path;
}

struct Landmark {
    std::string name;
    double azimuth = 0, halfWidth = 0, bottom = 0;
    int rgb[3] = {};
};

// The landmarks as the manifest of an mkcard card states them.
const std::vector<Landmark>& ManifestLandmarks() {
    static const std::vector<Landmark> marks = [] {
        std::vector<Landmark> list;
        const std::string card = Work() / "card";
        if (ktest::RunCommand(kMkcard + " --family tx50 --preset test --jobs 1 --out '" + card +
                              "'")
                .status != 0)
            return list;
        const auto j =
            kutil::Json::parse(ktest::ReadFile(card + "/mkcard-manifest.json"), nullptr, false);
        if (j.is_discarded()) return list;
        for (const auto& m : j["picture"]["landmarks"]) {
            Landmark l;
            l.name = m["name"].get<std::string>();
            l.azimuth = m["azimuth"].get<double>();
            l.halfWidth = m["half_width"].get<double>();
            l.bottom = m["bottom_elevation"].get<double>();
            for (int c = 0; c < 3; ++c)
                l.rgb[c] = m["rgb"][static_cast<size_t>(c)].get<int>();
            list.push_back(l);
        }
        return list;
    }();
    return marks;
}

ConvertResult Convert(const std::string& out, ConvertSettings settings, std::string* why,
                      std::string* encoder = nullptr) {
    CMovieCapture capture;
    CMovieCapture::Params p;
    p.source = Source();
    p.destination = out;
    if (settings.preset.empty()) settings.preset = "ultrafast";
    p.settings = settings;
    p.totalFrames = 29;
    const ConvertResult r = capture.Run(std::move(p), why);
    if (encoder) *encoder = capture.EncoderUsed();
    return r;
}

// ffprobe's "key=value" lines of the streams with their side data.
std::vector<std::string> StreamLines(const std::string& path) {
    const auto r = ktest::RunCommand("ffprobe -v error -show_streams -of default '" + path + "'");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        if (end == std::string::npos) end = r.out.size();
        lines.push_back(r.out.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The lines of stream `index` (from "index=N" to its closing tag).
std::vector<std::string> OneStream(const std::vector<std::string>& lines, int index) {
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& l : lines) {
        if (l == "index=" + std::to_string(index)) in = true;
        if (in && l == "[/STREAM]") break;
        if (in) out.push_back(l);
    }
    return out;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HardwareEncoderDevicePresent() {
    std::error_code ec;
    if (fs::exists("/dev/nvidiactl", ec)) return true;
    for (const auto& e : fs::directory_iterator("/dev/dri", ec))
        if (e.path().filename().string().rfind("renderD", 0) == 0) return true;
    return false;
}

// One view of v360 (flat output, yaw and pitch in degrees, v360's own
// conventions: yaw turns right, pitch up, yaw applied after pitch).
struct View {
    double yaw, pitch;
};
constexpr int kViewW = 480, kViewH = 360;
constexpr double kViewHFov = 120, kViewVFov = 90;

// Frame 10 of the file seen through v360, which reads it as the part of
// the sphere its bounds declare (v360's input fields of view, which crop
// evenly about the picture's centre).
std::string Reproject(const std::string& path, const EquirectBounds& b, const View& v) {
    if (b.top != b.bottom || b.left != b.right) return "";
    const double across = 360 * (1 - 2 * (b.left / 4294967296.0));
    const double up = 180 * (1 - 2 * (b.top / 4294967296.0));
    char filter[320];
    std::snprintf(filter, sizeof filter,
                  "select=eq(n\\,10),v360=input=equirect:ih_fov=%g:iv_fov=%g:output=flat:"
                  "h_fov=%g:v_fov=%g:w=%d:h=%d:yaw=%g:pitch=%g,format=rgb24",
                  across, up, kViewHFov, kViewVFov, kViewW, kViewH, v.yaw, v.pitch);
    const auto r = ktest::RunCommand("ffmpeg -v error -i '" + path + "' -vf '" + filter +
                                     "' -frames:v 1 -f rawvideo -");
    return r.out.size() == size_t(kViewW) * kViewH * 3 ? r.out : std::string();
}

// Direction (azimuth clockwise from ahead, elevation; degrees) that pixel
// (i, j) of the flat view looks in.
void PixelDirection(const View& v, int i, int j, double* azimuth, double* elevation) {
    const double x = (2 * (i + 0.5) / kViewW - 1) * std::tan(kViewHFov * kPi / 360);
    const double y = (1 - 2 * (j + 0.5) / kViewH) * std::tan(kViewVFov * kPi / 360);
    const double p = v.pitch * kPi / 180, w = v.yaw * kPi / 180;
    const double y2 = y * std::cos(p) + std::sin(p), z2 = -y * std::sin(p) + std::cos(p);
    const double x3 = x * std::cos(w) + z2 * std::sin(w), z3 = -x * std::sin(w) + z2 * std::cos(w);
    *azimuth = std::atan2(x3, z3) * 180 / kPi;
    *elevation = std::atan2(y2, std::hypot(x3, z3)) * 180 / kPi;
}

double Wrap(double degrees) {
    return std::remainder(degrees, 360.0);
}

// Where a landmark shows in a view: its pixels found by colour within
// 30 degrees of `azimuth`; the middle of its extent across, its width, and
// its lowest and highest elevation (1st and 99th percentiles).
struct Seen {
    size_t pixels = 0;
    double centre = 0, halfWidth = 0, lowest = 0, highest = 0;
};
Seen Find(const std::string& rgb, const View& view, const Landmark& m, double azimuth) {
    std::vector<double> az, el;
    for (int j = 0; j < kViewH; ++j)
        for (int i = 0; i < kViewW; ++i) {
            const auto* p = reinterpret_cast<const uint8_t*>(rgb.data()) +
                            (static_cast<size_t>(j) * kViewW + i) * 3;
            int d = 0;
            for (int c = 0; c < 3; ++c)
                d = std::max(d, std::abs(p[c] - m.rgb[c]));
            if (d > 45) continue;
            double a = 0, e = 0;
            PixelDirection(view, i, j, &a, &e);
            if (std::fabs(Wrap(a - azimuth)) > 30) continue;
            az.push_back(Wrap(a - azimuth));
            el.push_back(e);
        }
    Seen s;
    s.pixels = az.size();
    if (az.size() < 100) return s;
    std::sort(az.begin(), az.end());
    std::sort(el.begin(), el.end());
    const size_t lo = az.size() / 100, hi = az.size() - 1 - az.size() / 100;
    s.centre = Wrap(azimuth + (az[lo] + az[hi]) / 2);
    s.halfWidth = (az[hi] - az[lo]) / 2;
    s.lowest = el[lo];
    s.highest = el[hi];
    return s;
}

class ConvertSphere : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are needed as the checker";
        ASSERT_FALSE(Source().empty());
    }
    ktest::TempDir dir_;
};

} // namespace

TEST_F(ConvertSphere, FfprobeReadsVideoFirstWithAMonoWholeSphereEquirectangularMapping) {
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flipped" : "upright");
        const std::string out = dir_ / (flip ? "flip.mp4" : "up.mp4");
        ConvertSettings s;
        s.flip = flip;
        std::string why;
        ASSERT_EQ(Convert(out, s, &why), kConvertDone) << why;
        const std::vector<std::string> lines = StreamLines(out);
        const std::vector<std::string> video = OneStream(lines, 0), audio = OneStream(lines, 1);
        EXPECT_TRUE(Has(video, "codec_type=video"));
        EXPECT_TRUE(Has(audio, "codec_type=audio"));
        // "equirectangular", not "tiled equirectangular": all four bounds are 0.
        for (const char* line :
             {"side_data_type=Spherical Mapping", "projection=equirectangular", "yaw=0", "pitch=0",
              "roll=0", "side_data_type=Stereo 3D", "type=2D", "inverted=0"})
            EXPECT_TRUE(Has(video, line)) << line;
        for (const std::string& l : video)
            EXPECT_EQ(l.rfind("bound_", 0), std::string::npos) << l;
        EXPECT_FALSE(Has(audio, "side_data_type=Spherical Mapping"));
        // The V1 block: its uuid, then the XMP.
        const std::string bytes = ktest::ReadFile(out);
        const std::string uuid(reinterpret_cast<const char*>(kSphericalV1Uuid), 16);
        const size_t at = bytes.find("uuid" + uuid + "<?xml");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(bytes.find(SphericalV1Xmp(1920, 960), at), at + 20);
        // The rewritten file still decodes cleanly from end to end.
        const auto decoded = ktest::RunCommand("ffmpeg -v error -i '" + out + "' -f null -");
        EXPECT_EQ(decoded.status, 0);
        EXPECT_EQ(decoded.err, "");
    }
}

TEST_F(ConvertSphere, V360ShowsEveryLandmarkWhereTheManifestPutsIt) {
    const std::vector<Landmark>& marks = ManifestLandmarks();
    ASSERT_EQ(marks.size(), 4u);
    auto mark = [&](const std::string& name) {
        return *std::find_if(marks.begin(), marks.end(),
                             [&](const Landmark& m) { return m.name == name; });
    };
    struct Case {
        bool flip;
        View view;
        const char* landmark;
    };
    // Upright, three directions that between them see all four landmarks.
    // Flipped, the picture is the upright one turned over about the car's
    // long axis (for a camera whose lens points up): a landmark of the
    // down-looking scene at (azimuth, elevation) shows at (-azimuth,
    // -elevation), so its foot becomes its top edge.
    const Case cases[] = {
        {false, {0, 0}, "ahead"},   {false, {90, -10}, "right"}, {false, {-135, 0}, "behind"},
        {false, {-135, 0}, "left"}, {true, {90, 10}, "left"},    {true, {-90, 0}, "right"},
    };
    std::string lastPath;
    bool lastFlip = false;
    for (const Case& c : cases) {
        const Landmark m = mark(c.landmark);
        SCOPED_TRACE(std::string(c.flip ? "flipped " : "upright ") + m.name + " yaw " +
                     std::to_string(c.view.yaw));
        if (lastPath.empty() || lastFlip != c.flip) {
            lastPath = dir_ / (c.flip ? "flip.mp4" : "up.mp4");
            lastFlip = c.flip;
            ConvertSettings s;
            s.flip = c.flip;
            std::string why;
            ASSERT_EQ(Convert(lastPath, s, &why), kConvertDone) << why;
        }
        const std::string rgb = Reproject(lastPath, PanoramaBounds(c.flip), c.view);
        ASSERT_FALSE(rgb.empty());
        const double azimuth = c.flip ? Wrap(-m.azimuth) : m.azimuth;
        const Seen seen = Find(rgb, c.view, m, azimuth);
        ASSERT_GE(seen.pixels, 100u);
        EXPECT_NEAR(Wrap(seen.centre - azimuth), 0, 2);
        EXPECT_NEAR(seen.halfWidth, m.halfWidth, 2);
        if (c.flip)
            EXPECT_NEAR(seen.highest, -m.bottom, 2);
        else
            EXPECT_NEAR(seen.lowest, m.bottom, 2);
    }
}

TEST_F(ConvertSphere, NoSphericalWritesThePlainFile) {
    const std::string out = dir_ / "plain.mp4";
    const auto r = ktest::RunCommand(kCli + " convert --family tx50 '" + Source() + "' --out '" +
                                     out + "' --preset ultrafast --no-spherical");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"encoder\":\"x264\""), std::string::npos) << r.out;
    const std::vector<std::string> lines = StreamLines(out);
    EXPECT_TRUE(Has(OneStream(lines, 0), "codec_type=video"));
    for (const std::string& l : lines)
        EXPECT_EQ(l.find("side_data_type"), std::string::npos) << l;
    const std::string uuid(reinterpret_cast<const char*>(kSphericalV1Uuid), 16);
    EXPECT_EQ(ktest::ReadFile(out).find(uuid), std::string::npos);
}

TEST_F(ConvertSphere, AutoFallsBackToX264AndAMissingNamedEncoderFailsWritingNothing) {
    if (HardwareEncoderDevicePresent()) GTEST_SKIP() << "this machine has a hardware encoder";
    const std::string out = dir_ / "auto.mp4";
    std::string why, encoder;
    ASSERT_EQ(Convert(out, ConvertSettings{}, &why, &encoder), kConvertDone) << why;
    EXPECT_EQ(encoder, "x264");
    fs::remove(out);
    struct Named {
        ConvertEncoder encoder;
        const char* option;
        const char* reason;
    };
    for (const Named& n : {Named{ConvertEncoder::Vaapi, "vaapi", "VA-API"},
                           Named{ConvertEncoder::Nvenc, "nvenc", "h264_nvenc"}}) {
        SCOPED_TRACE(n.option);
        ConvertSettings s;
        s.encoder = n.encoder;
        why.clear();
        EXPECT_EQ(Convert(dir_ / "named.mp4", s, &why, &encoder), kConvertFailed);
        EXPECT_NE(why.find(n.reason), std::string::npos) << why;
        EXPECT_EQ(encoder, "");
        const auto r =
            ktest::RunCommand(kCli + " convert --family tx50 '" + Source() + "' --out '" +
                              (dir_ / "named.mp4") + "' --encoder " + n.option);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(n.reason), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("\"ok\":false"), std::string::npos) << r.out;
        EXPECT_TRUE(fs::is_empty(dir_.path()));
    }
}
