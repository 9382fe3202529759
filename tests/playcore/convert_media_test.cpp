// The upload conversion on mkcard recordings, checked with ffmpeg and
// ffprobe: the written file's streams and timing, the sound copied byte for
// byte or silenced, the panorama against the mapping written out here, the
// pixelated masks, the combined recording's front camera, cancel and the
// failure paths, the preview, and the command line's Ctrl-C.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "playcore/convert/movie_capture.h"
#include "playcore/models/view_math.h"
#include "support/command_run.h"
#include "support/temp_dir.h"

using namespace playcore;

namespace {

namespace fs = std::filesystem;

const std::string kMkcard = ktest::BuiltTool("tools/mkcard/mkcard");
const std::string kCli = ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");

bool HaveFfmpeg() {
    static const bool have = ktest::RunCommand("ffmpeg -version && ffprobe -version").status == 0;
    return have;
}

// Recordings made once per run, by their mkcard options.
const ktest::TempDir& Cards() {
    static ktest::TempDir dir;
    return dir;
}
std::string Recording(const std::string& name, const std::string& options) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end()) return it->second;
    const std::string out = Cards() / name;
    const auto r = ktest::RunCommand(kMkcard + " recording --out '" + out + "' " + options);
    if (r.status != 0) return "";
    return made[name] = out;
}
std::string OneCamera() {
    return Recording("101_101010_ANF.MP4", "--family tx50 --size 640x360 --duration 2");
}

std::string Probe(const std::string& path, const std::string& select, const std::string& entry) {
    auto r = ktest::RunCommand("ffprobe -v error -select_streams " + select +
                               " -show_entries stream=" + entry + " -of csv=p=0 '" + path + "'");
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == ','))
        s.pop_back();
    return s;
}

std::string AudioMd5(const std::string& path) {
    return ktest::RunCommand("ffmpeg -v error -i '" + path + "' -map 0:a -c copy -f md5 -").out;
}

// Frame n of the first (or the given) video stream as RGB24.
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    const uint8_t* At(int x, int y) const {
        return reinterpret_cast<const uint8_t*>(rgb.data()) +
               (static_cast<size_t>(y) * width + x) * 3;
    }
};
Picture DecodeFrame(const std::string& path, int n, int w, int h,
                    const std::string& map = "0:v:0") {
    Picture p;
    auto r =
        ktest::RunCommand("ffmpeg -v error -i '" + path + "' -map " + map + " -vf 'select=eq(n\\," +
                          std::to_string(n) + ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    if (r.out.size() == static_cast<size_t>(w) * h * 3) {
        p.width = w;
        p.height = h;
        p.rgb = r.out;
    }
    return p;
}

// Top-level boxes of an MP4 file.
std::vector<std::string> TopBoxes(const std::string& path) {
    const std::string d = ktest::ReadFile(path);
    std::vector<std::string> boxes;
    size_t o = 0;
    while (o + 8 <= d.size()) {
        const auto* b = reinterpret_cast<const uint8_t*>(d.data() + o);
        const uint64_t size = (uint64_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
        boxes.push_back(d.substr(o + 4, 4));
        if (size < 8) break;
        o += size;
    }
    return boxes;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Where output pixel (X, Y) of 1920 x 960 looks in the source picture,
// written out from the lens model: direction round the centre from the
// column, radius 0.572 cos(l pi) from the row.
void SourcePoint(double X, double Y, bool flip, double* u, double* v) {
    const double x = (1920 - X) / 1920, y = (960 - Y) / 960;
    const double h = flip ? 2 * x + 1 : 1 - 2 * x;
    const double l = flip ? y / 2 : 0.5 - y / 2;
    const double r = 0.572 * std::cos(l * kPi);
    *u = 0.5 + r * std::sin(h * kPi);
    *v = 0.5 - r * std::cos(h * kPi);
}

// Mean colour distance between the output and the source sampled through
// the mapping, over a grid outside the band; also the share of points
// closer than 40.
void CompareWithMapping(const Picture& out, const Picture& src, bool flip, double* mean,
                        double* close) {
    double sum = 0;
    int n = 0, near = 0;
    for (int Y = 4; Y < 960; Y += 16) {
        if (flip ? Y >= 960 - 320 : Y < 320) continue;
        for (int X = 4; X < 1920; X += 16) {
            double u = 0, v = 0;
            SourcePoint(X + 0.5, Y + 0.5, flip, &u, &v);
            const int sx = std::clamp(static_cast<int>(u * src.width), 0, src.width - 1);
            const int sy = std::clamp(static_cast<int>(v * src.height), 0, src.height - 1);
            // Skip the source's frame-number strip (top twelfth), which changes per frame.
            if (sy < src.height / 12 + 2) continue;
            double d = 0;
            for (int c = 0; c < 3; ++c)
                d += std::abs(out.At(X, Y)[c] - src.At(sx, sy)[c]);
            sum += d / 3;
            near += d / 3 < 40;
            ++n;
        }
    }
    *mean = n ? sum / n : 1e9;
    *close = n ? double(near) / n : 0;
}

struct RunOutcome {
    ConvertResult result = kConvertFailed;
    std::string why;
    int frames = 0;
    bool stoppedEarly = false;
};

RunOutcome Convert(const std::string& in, const std::string& out, ConvertSettings settings,
                   int failConvertAt = -1, int failWriteAt = -1,
                   std::atomic<bool>* running = nullptr, int cancelAt = -1) {
    CMovieCapture capture;
    CMovieCapture::Params p;
    p.source = in;
    p.destination = out;
    if (settings.preset.empty()) settings.preset = "ultrafast";
    p.settings = settings;
    p.totalFrames = 58;
    p.failConvertAt = failConvertAt;
    p.failWriteAt = failWriteAt;
    p.running = running;
    int seen = 0;
    p.progress = [&](int, int total) {
        if (total != 100 && ++seen == cancelAt && running) running->store(false);
    };
    RunOutcome r;
    r.result = capture.Run(std::move(p), &r.why);
    r.frames = capture.FrameCounter();
    r.stoppedEarly = capture.StoppedEarly();
    return r;
}

class ConvertMedia : public ::testing::Test {
protected:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are not for this output
        if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are needed as the checker";
        src_ = OneCamera();
        ASSERT_FALSE(src_.empty());
    }
    ktest::TempDir dir_;
    std::string src_;
};

} // namespace

TEST_F(ConvertMedia, OneCameraBecomesH264PanoramaWithTheSourceTimingAndSound) {
    const std::string out = dir_ / "up.mp4";
    const RunOutcome r = Convert(src_, out, {});
    ASSERT_EQ(r.result, kConvertDone) << r.why;
    EXPECT_EQ(Probe(out, "v", "codec_name,width,height"), "h264,1920,960");
    EXPECT_EQ(Probe(out, "v", "nb_frames"), Probe(src_, "v", "nb_frames"));
    EXPECT_EQ(Probe(out, "v", "r_frame_rate"), Probe(src_, "v", "r_frame_rate"));
    EXPECT_EQ(Probe(out, "a", "codec_name"), "aac");
    const std::string md5 = AudioMd5(src_);
    EXPECT_FALSE(md5.empty());
    EXPECT_EQ(AudioMd5(out), md5);
    const auto boxes = TopBoxes(out);
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov - boxes.begin(), mdat - boxes.begin());
    const auto decoded = ktest::RunCommand("ffmpeg -v error -i '" + out + "' -f null -");
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.err, "");
    // Nothing but the output in its folder: the temporaries are gone.
    EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"up.mp4"});
}

TEST_F(ConvertMedia, PanoramaFollowsTheMappingWithBandAndFlip) {
    const Picture src = DecodeFrame(src_, 10, 640, 360);
    ASSERT_EQ(src.width, 640);
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flipped" : "upright");
        const std::string out = dir_ / (flip ? "flip.mp4" : "up.mp4");
        ConvertSettings s;
        s.flip = flip;
        ASSERT_EQ(Convert(src_, out, s).result, kConvertDone);
        const Picture pic = DecodeFrame(out, 10, 1920, 960);
        ASSERT_EQ(pic.width, 1920);
        double mean = 0, close = 0;
        CompareWithMapping(pic, src, flip, &mean, &close);
        EXPECT_LT(mean, 12);
        EXPECT_GT(close, 0.95);
        // The band: a third of the height, black.
        for (int y = 0; y < 320; y += 9)
            for (int x = 0; x < 1920; x += 37) {
                const uint8_t* p = pic.At(x, flip ? 959 - y : y);
                ASSERT_LT(p[0] + p[1] + p[2], 30) << x << "," << y;
            }
        // The landmark ahead (red) in the middle column, 6 degrees below the horizon.
        const int row = flip ? 959 - 512 : 512;
        const uint8_t* ahead = pic.At(960, row);
        EXPECT_GT(ahead[0], 150);
        EXPECT_LT(ahead[1], 90);
        // Left (yellow) at a quarter from the left, right (green) at a quarter
        // from the right; flipped, the other way round.
        const uint8_t* quarter = pic.At(480, row);
        const uint8_t* threeQuarters = pic.At(1440, row);
        const uint8_t* yellow = flip ? threeQuarters : quarter;
        const uint8_t* green = flip ? quarter : threeQuarters;
        EXPECT_GT(yellow[0], 150);
        EXPECT_GT(yellow[1], 150);
        EXPECT_LT(yellow[2], 100);
        EXPECT_LT(green[0], 100);
        EXPECT_GT(green[1], 120);
        // The row at the band's other side shows the image centre all along.
        const uint8_t* centre = src.At(320, 180);
        const int edgeRow = flip ? 0 : 959;
        for (int x = 0; x < 1920; x += 60)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(pic.At(x, edgeRow)[c], centre[c], 24) << x;
    }
}

TEST_F(ConvertMedia, MaskRectangleIsConstantOverEachNineByNineBlock) {
    // The rectangle drawn from (500, 300) to (400, 200) in the preview at S = 1.
    MaskEditor editor(MaskEditor::ScaleFor(1.0));
    editor.Edit(MaskEditor::kPress, 500, 300);
    editor.Edit(MaskEditor::kMove, 420, 220);
    editor.Edit(MaskEditor::kRelease, 400, 200);
    ASSERT_EQ(editor.Masks().size(), 1u);
    const MaskRect m = editor.Masks()[0];
    ASSERT_EQ(m, (MaskRect{768, 384, 960, 576}));
    ConvertSettings s;
    s.masks = editor.Masks();
    const std::string out = dir_ / "mask.mp4", plain = dir_ / "plain.mp4";
    ASSERT_EQ(Convert(src_, out, s).result, kConvertDone);
    ASSERT_EQ(Convert(src_, plain, {}).result, kConvertDone);
    for (int frame : {3, 30}) {
        const Picture pic = DecodeFrame(out, frame, 1920, 960);
        const Picture ref = DecodeFrame(plain, frame, 1920, 960);
        ASSERT_EQ(pic.width, 1920);
        ASSERT_EQ(ref.width, 1920);
        int blocks = 0, flat = 0, refFlat = 0, worst = 0, total = 0;
        for (int by = m.top; by + 8 <= m.bottom; by += 9)
            for (int bx = m.left; bx + 8 <= m.right; bx += 9) {
                // Spread of each channel over the block's inner 7 x 7 (the
                // encoder's transform blocks do not follow the 9 x 9 grid).
                auto spread = [&](const Picture& p) {
                    int worst = 0;
                    for (int c = 0; c < 3; ++c) {
                        int lo = 255, hi = 0;
                        for (int y = by + 1; y < by + 8; ++y)
                            for (int x = bx + 1; x < bx + 8; ++x) {
                                lo = std::min<int>(lo, p.At(x, y)[c]);
                                hi = std::max<int>(hi, p.At(x, y)[c]);
                            }
                        worst = std::max(worst, hi - lo);
                    }
                    return worst;
                };
                ++blocks;
                const int d = spread(pic);
                worst = std::max(worst, d);
                total += d;
                flat += d <= 6;
                refFlat += spread(ref) <= 6;
            }
        EXPECT_GT(blocks, 400);
        // Flat up to the encoder's ringing where two very different blocks meet.
        EXPECT_GT(flat, blocks * 9 / 10) << "frame " << frame;
        EXPECT_LE(worst, 24) << "frame " << frame;
        EXPECT_LE(total / blocks, 3) << "frame " << frame;
        // Unmasked, the same place holds detail (the red landmark's edge, the horizon).
        EXPECT_LT(refFlat, blocks) << "frame " << frame;
        // Outside the rectangle the pictures agree.
        int differ = 0;
        for (int x = 200; x < 700; x += 5)
            differ += std::abs(pic.At(x, 500)[0] - ref.At(x, 500)[0]) > 12;
        EXPECT_LT(differ, 5);
    }
}

// 64-bit FNV-1a over the visible bytes of every picture handed to the
// encoder (the Y, U and V planes of each, in order), and their count.
struct PictureDigest {
    uint64_t hash = 1469598103934665603ull;
    int pictures = 0;
    void Add(const AVFrame* f) {
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? f->width / 2 : f->width, h = plane ? f->height / 2 : f->height;
            for (int y = 0; y < h; ++y) {
                const uint8_t* row =
                    f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
                for (int x = 0; x < w; ++x)
                    hash = (hash ^ row[x]) * 1099511628211ull;
            }
        }
        ++pictures;
    }
};

TEST_F(ConvertMedia, PicturesHandedToTheEncoderKeepTheirReferenceDigest) {
    // The digests were taken from the single-threaded conversion (unwrap,
    // pixelation, then the colour conversion of the whole picture); any
    // change of a byte of any picture, in either mounting direction, with
    // masks that overlap and reach over the picture's edges, shows here.
    struct Case {
        bool flip;
        std::vector<MaskRect> masks;
        uint64_t digest;
    };
    const std::vector<Case> cases = {
        {false, {{768, 384, 960, 576}, {900, 500, 1100, 700}}, 0x9c47d68964fb9c39ull},
        {true, {{-20, 900, 100, 1000}, {1850, 0, 1930, 400}, {5, 5, 5, 5}}, 0x3777318cc3d087aaull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flip ? "flipped" : "upright");
        CMovieCapture capture;
        CMovieCapture::Params p;
        p.source = src_;
        p.destination = dir_ / "digest.mp4";
        p.settings.flip = c.flip;
        p.settings.masks = c.masks;
        p.settings.preset = "ultrafast";
        p.totalFrames = 58;
        PictureDigest digest;
        p.encoderInput = [&digest](const AVFrame* f) { digest.Add(f); };
        std::string why;
        ASSERT_EQ(capture.Run(std::move(p), &why), kConvertDone) << why;
        EXPECT_EQ(digest.pictures, 58);
        EXPECT_EQ(digest.hash, c.digest) << std::hex << "0x" << digest.hash;
    }
}

// A planar 4:2:0 picture of noise over smooth gradients (so that both the
// filter weights and the chroma pairs matter), different for each seed.
AVFrame* NoisePicture(int width, int height, unsigned seed) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, 0) < 0) av_frame_free(&f);
    std::mt19937 random(seed);
    for (int plane = 0; f && plane < 3; ++plane)
        for (int y = 0; y < (plane ? height / 2 : height); ++y)
            for (int x = 0; x < (plane ? width / 2 : width); ++x)
                f->data[plane][y * f->linesize[plane] + x] =
                    static_cast<uint8_t>((x * 3 + y * 5 + plane * 70) % 200 + random() % 56);
    return f;
}

TEST(ConvertBands, BandedPictureEqualsTheWholePictureConvertedOnOneThread) {
    // The reference: the unwrap of all rows, the masks, then FFmpeg's
    // scaler over the whole 32-bit picture. The banded conversion must give
    // the same bytes for any number of bands, with masks at the bands'
    // borders and over the black band's edge, picture after picture.
    const std::vector<std::vector<MaskRect>> maskSets = {
        {},
        {{0, 470, 1919, 490}},                           // across the middle (two bands' border)
        {{100, 300, 400, 340}, {1800, 950, 1990, 1200}}, // the black band's edge; the last rows
        {{-50, -50, 30, 10}, {700, 600, 760, 629}},      // the first rows; inside one chunk
    };
    for (bool flip : {false, true})
        for (int bands : {1, 2, 3, 7}) {
            MovieConverter banded, whole;
            ASSERT_TRUE(banded.Init(640, 360, 1920, 960, flip, true, bands));
            ASSERT_TRUE(whole.Init(640, 360, 1920, 960, flip, false, 1));
            ASSERT_EQ(banded.Bands(), bands);
            SwsContext* sws =
                sws_getContext(1920, 960, AV_PIX_FMT_BGRA, 1920, 960, AV_PIX_FMT_YUV420P,
                               SWS_BILINEAR, nullptr, nullptr, nullptr);
            ASSERT_NE(sws, nullptr);
            AVFrame* got = av_frame_alloc();
            got->format = AV_PIX_FMT_YUV420P;
            got->width = 1920;
            got->height = 960;
            ASSERT_GE(av_frame_get_buffer(got, 0), 0);
            AVFrame* want = av_frame_clone(got);
            ASSERT_GE(av_frame_make_writable(want), 0);
            for (size_t m = 0; m < maskSets.size(); ++m) {
                SCOPED_TRACE(::testing::Message()
                             << "flip " << flip << " bands " << bands << " masks " << m);
                AVFrame* src = NoisePicture(640, 360, static_cast<unsigned>(m * 10 + bands));
                ASSERT_TRUE(banded.ConvertToYuv(src, maskSets[m], got));
                ASSERT_TRUE(whole.Convert(src));
                for (const MaskRect& r : maskSets[m])
                    PixelateRect(whole.Output(), 1920, 960, whole.OutStride(), r);
                const uint8_t* in[1] = {whole.Output()};
                const int inStride[1] = {whole.OutStride()};
                ASSERT_EQ(sws_scale(sws, in, inStride, 0, 960, want->data, want->linesize), 960);
                EXPECT_EQ(std::memcmp(banded.Output(), whole.Output(), 1920 * 4 * 960), 0);
                for (int plane = 0; plane < 3; ++plane) {
                    const int w = plane ? 960 : 1920, h = plane ? 480 : 960;
                    int firstDiffering = -1;
                    for (int y = 0; y < h && firstDiffering < 0; ++y)
                        if (std::memcmp(got->data[plane] + y * got->linesize[plane],
                                        want->data[plane] + y * want->linesize[plane], w) != 0)
                            firstDiffering = y;
                    EXPECT_EQ(firstDiffering, -1) << "plane " << plane;
                }
                av_frame_free(&src);
            }
            av_frame_free(&got);
            av_frame_free(&want);
            sws_freeContext(sws);
        }
}

TEST_F(ConvertMedia, SilencedSoundKeepsItsLengthAndEverySampleIsZero) {
    const std::string out = dir_ / "mute.mp4";
    ConvertSettings s;
    s.silenceAudio = true;
    ASSERT_EQ(Convert(src_, out, s).result, kConvertDone);
    EXPECT_EQ(Probe(out, "a", "nb_frames"), Probe(src_, "a", "nb_frames"));
    EXPECT_EQ(Probe(out, "a", "duration"), Probe(src_, "a", "duration"));
    EXPECT_EQ(Probe(out, "a", "sample_rate,channels"), Probe(src_, "a", "sample_rate,channels"));
    const auto pcm =
        ktest::RunCommand("ffmpeg -v error -i '" + out + "' -map 0:a -f s16le -acodec pcm_s16le -");
    ASSERT_GT(pcm.out.size(), 48000u * 2);
    EXPECT_TRUE(std::all_of(pcm.out.begin(), pcm.out.end(), [](char c) { return c == 0; }));
    // The source's sound is not silent, so the check above means something.
    const auto loud = ktest::RunCommand("ffmpeg -v error -i '" + src_ +
                                        "' -map 0:a -f s16le -acodec pcm_s16le -");
    EXPECT_FALSE(std::all_of(loud.out.begin(), loud.out.end(), [](char c) { return c == 0; }));
}

TEST_F(ConvertMedia, CombinedRecordingConvertsItsFrontCamera) {
    const std::string combined =
        Recording("012_153012_ANN_.MP4", "--family tx50 --content combined --size 640x360 "
                                         "--rear-size 320x180 --duration 2");
    ASSERT_FALSE(combined.empty());
    const std::string out = dir_ / "front.mp4";
    ConvertSettings s;
    s.combined = true;
    ASSERT_EQ(Convert(combined, out, s).result, kConvertDone);
    EXPECT_EQ(Probe(out, "v", "nb_frames"), Probe(combined, "v:0", "nb_frames"));
    EXPECT_EQ(AudioMd5(out), AudioMd5(combined));
    const Picture front = DecodeFrame(combined, 10, 640, 360, "0:v:0");
    const Picture pic = DecodeFrame(out, 10, 1920, 960);
    ASSERT_EQ(pic.width, 1920);
    double mean = 0, close = 0;
    CompareWithMapping(pic, front, false, &mean, &close);
    EXPECT_LT(mean, 12);
    EXPECT_GT(pic.At(960, 512)[0], 150); // the red landmark ahead
}

TEST_F(ConvertMedia, CancelLeavesNothingAndWriterFailureDeletesEverything) {
    std::atomic<bool> running{true};
    const std::string out = dir_ / "cancel.mp4";
    const RunOutcome cancelled = Convert(src_, out, {}, -1, -1, &running, 10);
    EXPECT_EQ(cancelled.result, kConvertCancelled);
    EXPECT_LT(cancelled.frames, 58);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());

    const RunOutcome broken = Convert(src_, out, {}, -1, 20);
    EXPECT_EQ(broken.result, kConvertFailed);
    EXPECT_FALSE(broken.why.empty());
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());

    // An output that would replace the source is refused; the source stays.
    const std::string before = ktest::ReadFile(src_);
    EXPECT_EQ(Convert(src_, src_, {}).result, kConvertFailed);
    EXPECT_EQ(ktest::ReadFile(src_), before);
    // An unreadable source or an unwritable folder: a failure, nothing written.
    EXPECT_EQ(Convert(dir_ / "missing.MP4", out, {}).result, kConvertFailed);
    EXPECT_EQ(Convert(src_, dir_ / "no/such/folder/x.mp4", {}).result, kConvertFailed);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
}

TEST_F(ConvertMedia, FrameThatCannotBeConvertedEndsTheOutputThere) {
    const std::string out = dir_ / "short.mp4";
    const RunOutcome r = Convert(src_, out, {}, 12);
    EXPECT_EQ(r.result, kConvertDone);
    EXPECT_TRUE(r.stoppedEarly);
    EXPECT_EQ(r.frames, 12);
    EXPECT_EQ(Probe(out, "v", "nb_frames"), "12");
    const auto decoded = ktest::RunCommand("ffmpeg -v error -i '" + out + "' -f null -");
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"short.mp4"});
}

namespace {

// The preview control's stand-in: counts the pictures and keeps the last.
class Collector : public CaptureTarget {
public:
    void TargetSize(int* w, int* h) override {
        *w = 1000;
        *h = 500;
    }
    void Present(const uint8_t* bgra, int w, int h, int stride) override {
        ++frames;
        last.assign(bgra, bgra + static_cast<size_t>(stride) * h);
        width = w;
        height = h;
    }
    int frames = 0, width = 0, height = 0;
    std::vector<uint8_t> last;
};

} // namespace

TEST_F(ConvertMedia, PreviewDrawsEveryFrameWithTheMasksAndWritesNothing) {
    Collector target;
    MaskEditor editor(MaskEditor::ScaleFor(1.0));
    editor.Edit(MaskEditor::kPress, 400, 200);
    editor.Edit(MaskEditor::kRelease, 500, 300);
    CMovieCapture capture;
    CMovieCapture::Params p;
    p.source = src_;
    p.totalFrames = 58;
    p.masks = &editor;
    p.target = &target;
    ASSERT_EQ(capture.Run(std::move(p)), kConvertDone);
    EXPECT_EQ(target.frames, 58);
    ASSERT_EQ(target.width, 1000);
    ASSERT_EQ(target.height, 500);
    auto px = [&](int x, int y) {
        const uint8_t* q = &target.last[(static_cast<size_t>(y) * 1000 + x) * 4];
        return std::array<int, 3>{q[2], q[1], q[0]}; // r, g, b
    };
    // The mask in preview pixels (400, 200)-(500, 300): red border, black inside.
    EXPECT_EQ(px(450, 250), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(px(401, 250), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(px(450, 298), (std::array<int, 3>{255, 0, 0}));
    // The band, a third of the preview's height.
    EXPECT_EQ(px(100, 100), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{});
}

TEST_F(ConvertMedia, CommandLineConvertsAndCtrlCLeavesNothing) {
    const std::string out = dir_ / "cli.mp4";
    auto r = ktest::RunCommand(kCli + " convert --family tx50 '" + src_ + "' --out '" + out +
                               "' --preset ultrafast --mask 768,384,960,576 --mute --flip");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"ok\":true"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"frames\":58"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("progress 58 58"), std::string::npos);
    EXPECT_EQ(Probe(out, "v", "width,height"), "1920,960");
    EXPECT_NE(r.out.find("\"seconds\":"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"fps\":"), std::string::npos) << r.out;
    fs::remove(out);
    // On a terminal (script's pseudo-terminal): the frames written, frames per
    // second and the time left, ending at the last frame.
    if (ktest::RunCommand("script --version").status == 0) {
        r = ktest::RunCommand("script -qefc \"" + kCli + " convert --family tx50 '" + src_ +
                              "' --out '" + out + "' --preset ultrafast\" /dev/null");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("58/58 frames"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(" frames/s "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("0:00 left"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("progress 58 58"), std::string::npos) << r.out;
        fs::remove(out);
    }
    // The dialog's preview without a window: every frame drawn, nothing written.
    r = ktest::RunCommand(kCli + " convert --family tx50 '" + src_ + "' --preview 1000x500");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"frames\":58"), std::string::npos) << r.out;

    const std::string longer =
        Recording("102_101010_ANF.MP4", "--family tx50 --size 640x360 --duration 8");
    ASSERT_FALSE(longer.empty());
    // Interrupted once the progress shows on stderr.
    const std::string err = dir_ / "..err";
    const std::string script =
        "(" + kCli + " convert --family tx50 '" + longer + "' --out '" + out +
        "' --preset ultrafast 2>'" + err +
        "' & pid=$!; i=0; "
        "while [ \"$(grep -c '^progress' '" +
        err +
        "' 2>/dev/null)\" -lt 5 ] && [ $i -lt 1200 ]; do "
        "sleep 0.05; i=$((i+1)); done; kill -INT $pid; wait $pid; echo \"status $?\")";
    r = ktest::RunCommand(script);
    EXPECT_NE(r.out.find("\"result\":2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("status 1"), std::string::npos) << r.out;
    fs::remove(err);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
}
