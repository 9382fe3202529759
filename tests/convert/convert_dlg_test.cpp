// The conversion dialog driven in-process: its layout at S, the preview that
// repeats until the dialog closes, masks drawn with the mouse, the buttons
// that need a mask, "音声の除去", confirm and cancel, and a combined recording
// previewed from its split front file, whose split files are gone afterwards.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/convert/convert_dlg.h"
#include "kinetta/convert/upload_convert.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "skin/gui_support.h"
#include "support/command_run.h"
#include "support/temp_dir.h"

using namespace kinetta;
namespace fs = std::filesystem;

namespace {

using ktest::App;

const ktest::TempDir& Cards() {
    static ktest::TempDir dir;
    return dir;
}

std::string Recording(const std::string& name, const std::string& options) {
    const std::string out = Cards() / name;
    if (fs::exists(out)) return out;
    const auto r = ktest::RunCommand(ktest::BuiltTool("tools/mkcard/mkcard") +
                                     " recording --out '" + out + "' " + options);
    return r.status == 0 ? out : "";
}

void Mouse(QWidget* w, QEvent::Type type, QPoint p) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Drag(QWidget* w, QPoint from, QPoint to) {
    Mouse(w, QEvent::MouseButtonPress, from);
    Mouse(w, QEvent::MouseMove, (from + to) / 2);
    Mouse(w, QEvent::MouseButtonRelease, to);
    QCoreApplication::sendPostedEvents();
}

// Runs steps while the dialog is modal: each step is polled every 20 ms until
// it returns true; after the last, or past the deadline, nothing more runs
// (a step that never comes true ends the dialog with cancel).
void Drive(CConvertDlg* dlg, std::vector<std::function<bool()>> steps) {
    auto* timer = new QTimer(dlg);
    auto index = std::make_shared<size_t>(0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    QObject::connect(timer, &QTimer::timeout, dlg, [=] {
        if (*index >= steps.size()) return;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "step " << *index << " did not come true";
            *index = steps.size();
            dlg->OnCommand(2);
            return;
        }
        if (steps[*index]()) ++*index;
    });
    timer->start(20);
}

bool Reddish(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100;
}

class ConvertDialog : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        SetSkinScale(1.0, 1.0, 96);
        SetCurrentFamily(RecorderFamily::TX50);
        SetSettingsDirectory(settings_.path());
        source_ = Recording("101_101010_ANF.MP4", "--family tx50 --size 640x360 --duration 2");
        ASSERT_FALSE(source_.empty());
    }
    ktest::TempDir settings_;
    std::string source_;
};

} // namespace

TEST_F(ConvertDialog, LayoutPreviewMasksAndConfirm) {
    CConvertDlg dlg(nullptr, ConvertDialogInput{source_, 58, 29.1f, false});
    EXPECT_EQ(dlg.size(), QSize(1009, 600));
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("表示マスク領域の選択"));
    EXPECT_EQ(dlg.Preview()->geometry(), QRect(4, 20, 1000, 500));
    EXPECT_EQ(dlg.UndoButton()->geometry(), QRect(460, 550, 100, 30));
    EXPECT_EQ(dlg.DeleteAllButton()->geometry(), QRect(600, 550, 100, 30));
    EXPECT_EQ(dlg.RemoveAudioCheck()->geometry(), QRect(44, 560, 240, 40));
    EXPECT_EQ(dlg.RemoveAudioCheck()->text(), QString::fromUtf8("音声の除去"));
    EXPECT_FALSE(dlg.UndoButton()->isEnabled());
    EXPECT_FALSE(dlg.DeleteAllButton()->isEnabled());

    CConvertMovieStatic* preview = dlg.Preview();
    Drive(&dlg,
          {// The preview goes round more than once: more pictures than frames.
           [&] { return preview->PicturesPresented() > 58 + 5; },
           [&] {
               // The panorama: the red landmark ahead in the middle column.
               EXPECT_TRUE(Reddish(preview->LatestPicture(), 500, 267));
               Drag(preview, QPoint(500, 300), QPoint(400, 200));
               EXPECT_TRUE(dlg.UndoButton()->isEnabled());
               EXPECT_TRUE(dlg.DeleteAllButton()->isEnabled());
               // A click without movement adds nothing; neither does undo's
               // state change.
               Drag(preview, QPoint(20, 20), QPoint(20, 20));
               // A release outside the control is clamped into it.
               Drag(preview, QPoint(990, 490), QPoint(5000, 5000));
               dlg.OnCommand(kConvertUndoButton);
               EXPECT_TRUE(dlg.UndoButton()->isEnabled());
               dlg.RemoveAudioCheck()->click();
               return true;
           },
           // The mask shows in the preview: black inside, red border.
           [&] {
               const QImage p = preview->LatestPicture();
               return qRed(p.pixel(450, 250)) == 0 && Reddish(p, 401, 250);
           },
           [&] {
               dlg.OnCommand(1);
               return true;
           }});
    EXPECT_EQ(dlg.Exec(), 0);
    ASSERT_EQ(dlg.Masks().size(), 1u);
    EXPECT_EQ(dlg.Masks()[0], (playcore::MaskRect{768, 384, 960, 576}));
    EXPECT_TRUE(dlg.SilenceAudio());
    EXPECT_EQ(dlg.PreviewSource(), source_);
}

TEST_F(ConvertDialog, UndoDeleteAllAndCancel) {
    CConvertDlg dlg(nullptr, ConvertDialogInput{source_, 58, 29.1f, true});
    Drive(&dlg, {[&] { return dlg.Preview()->PicturesPresented() > 0; },
                 [&] {
                     // Undo with an empty list does nothing.
                     dlg.OnCommand(kConvertUndoButton);
                     Drag(dlg.Preview(), QPoint(10, 10), QPoint(60, 60));
                     Drag(dlg.Preview(), QPoint(100, 100), QPoint(160, 160));
                     Drag(dlg.Preview(), QPoint(200, 200), QPoint(260, 260));
                     dlg.OnCommand(kConvertUndoButton);
                     EXPECT_TRUE(dlg.DeleteAllButton()->isEnabled());
                     dlg.OnCommand(kConvertDeleteAllButton);
                     EXPECT_FALSE(dlg.UndoButton()->isEnabled());
                     EXPECT_FALSE(dlg.DeleteAllButton()->isEnabled());
                     Drag(dlg.Preview(), QPoint(300, 300), QPoint(360, 360));
                     dlg.OnCommand(kSkinCloseButtonId); // acts like cancel
                     return true;
                 }});
    EXPECT_EQ(dlg.Exec(), 2);
    EXPECT_EQ(dlg.Masks().size(), 1u); // the job's list as it was left
}

TEST_F(ConvertDialog, CombinedRecordingPreviewsTheSplitFrontFile) {
    // A TX40 combined name: the file-name test decides the split.
    SetCurrentFamily(RecorderFamily::TX40);
    const std::string combined =
        Recording("012_153012_A.MP4", "--family tx40 --content combined --size 640x360 "
                                      "--rear-size 320x180 --duration 2");
    ASSERT_FALSE(combined.empty());
    const std::string front = settings_ / "_temp_out_M.mp4";
    const std::string rear = settings_ / "_temp_out_R.mp4";
    playcore::ConvertSettings settings;
    settings.masks = {playcore::MaskRect{1, 2, 3, 4}};
    CConvertDlg* seen = nullptr;
    bool splitWhileOpen = false, frontShown = false;
    // The dialog is made inside RunConvertDialog: find it once it shows.
    auto* finder = new QTimer(&App());
    QObject::connect(finder, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<CConvertDlg*>(w); d && d->isVisible()) seen = d;
        if (!seen || seen->Preview()->PicturesPresented() < 3) return;
        splitWhileOpen = fs::exists(front) && fs::exists(rear);
        frontShown = Reddish(seen->Preview()->LatestPicture(), 500, 267);
        EXPECT_EQ(seen->PreviewSource(), front);
        finder->stop();
        seen->OnCommand(2);
    });
    finder->start(20);
    EXPECT_EQ(RunConvertDialog(nullptr, ConvertDialogInput{combined, 58, 29.1f, false}, &settings),
              2);
    delete finder;
    EXPECT_TRUE(splitWhileOpen);
    EXPECT_TRUE(frontShown);
    EXPECT_FALSE(fs::exists(front));
    EXPECT_FALSE(fs::exists(rear));
    // Cancel leaves the caller's settings as they were.
    ASSERT_EQ(settings.masks.size(), 1u);
}

TEST_F(ConvertDialog, EncoderIsNamedAndANamedOneThisComputerLacksConvertsNothing) {
    std::error_code ec;
    bool hardware = fs::exists("/dev/nvidiactl", ec);
    for (const auto& e : fs::directory_iterator("/dev/dri", ec))
        hardware = hardware || e.path().filename().string().rfind("renderD", 0) == 0;
    if (hardware) GTEST_SKIP() << "this computer has a hardware encoder";
    const ConvertDialogInput input{source_, 58, 29.1f, false};
    EXPECT_EQ(ConvertEncoderSetting(), playcore::ConvertEncoder::Auto);
    EXPECT_TRUE(ConvertSphericalSetting());
    {
        CConvertDlg dlg(nullptr, input);
        EXPECT_EQ(dlg.EncoderLabel()->geometry(), QRect(44, 524, 920, 22));
        EXPECT_EQ(dlg.EncoderLabel()->text(),
                  QString::fromUtf8("エンコーダー: x264（ソフトウェア）"));
        EXPECT_TRUE(dlg.ConfirmButton()->isEnabled());
    }
    ASSERT_TRUE(WriteSetting("CONVERT", "ENCODER", "bogus"));
    ASSERT_TRUE(WriteSetting("CONVERT", "SPHERICAL", "0"));
    EXPECT_EQ(ConvertEncoderSetting(), playcore::ConvertEncoder::Auto);
    EXPECT_FALSE(ConvertSphericalSetting());
    {
        CConvertDlg dlg(nullptr, input);
        EXPECT_EQ(dlg.EncoderLabel()->text(),
                  QString::fromUtf8(
                      "エンコーダー: x264（ソフトウェア）　360°動画の情報は書き込みません"));
    }

    ASSERT_TRUE(WriteSetting("CONVERT", "ENCODER", "vaapi"));
    EXPECT_EQ(ConvertEncoderSetting(), playcore::ConvertEncoder::Vaapi);
    CConvertDlg dlg(nullptr, input);
    EXPECT_EQ(
        dlg.EncoderLabel()->text(),
        QString::fromUtf8("設定されたエンコーダー「VA-API」はこのコンピューターでは使えないため、"
                          "変換できません。"));
    EXPECT_FALSE(dlg.ConfirmButton()->isEnabled());
    // Confirm (the button's command or Enter) does not close it; cancel does.
    bool stillOpen = false;
    Drive(&dlg, {[&] { return dlg.Preview()->PicturesPresented() > 0; },
                 [&] {
                     dlg.OnCommand(1);
                     dlg.accept();
                     stillOpen = dlg.isVisible();
                     dlg.OnCommand(2);
                     return true;
                 }});
    EXPECT_EQ(dlg.Exec(), 2);
    EXPECT_TRUE(stillOpen);
    // The flows' entry fails the same way and writes nothing.
    const std::string out = settings_ / "named.mp4";
    JobControl job(JobControl::Sinks{[](int, int) {}, [](std::uint32_t) {}});
    std::atomic<int> result{-1};
    ASSERT_TRUE(job.Start([&](JobControl& j) {
        result = RunUploadConversion(j, source_, out, playcore::ConvertSettings{}, 58, 0);
        return 0u;
    }));
    job.Join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ConvertDialog, PresetSettingAndTheConversionAsAJob) {
    EXPECT_EQ(ConvertPresetSetting(), "superfast");
    ASSERT_TRUE(WriteSetting("CONVERT", "PRESET", "bogus"));
    EXPECT_EQ(ConvertPresetSetting(), "superfast");
    ASSERT_TRUE(WriteSetting("CONVERT", "PRESET", "ultrafast"));
    EXPECT_EQ(ConvertPresetSetting(), "ultrafast");

    // The flows' entry: the work of a JobControl, progress through it,
    // Cancel stops it with nothing written.
    const std::string out = settings_ / "up.mp4";
    std::atomic<int> lastTotal{0}, perFrame{0};
    std::vector<std::string> paces; // worker thread, read after Join
    JobControl job(JobControl::Sinks{[&](int, int total) {
                                         lastTotal = total;
                                         if (total != 58) return;
                                         ++perFrame;
                                         paces.push_back(job.Detail());
                                     },
                                     [](std::uint32_t) {}});
    std::atomic<int> result{-1};
    ASSERT_TRUE(job.Start([&](JobControl& j) {
        result = RunUploadConversion(j, source_, out, playcore::ConvertSettings{}, 58, 0);
        return 0u;
    }));
    job.Join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(perFrame.load(), 58);
    EXPECT_EQ(lastTotal.load(), 100); // the end: (100, 100)
    // Each frame's progress comes with the pace beside the bar: frames
    // written of the total, frames per second, time left.
    ASSERT_EQ(paces.size(), 58u);
    EXPECT_EQ(paces.front().rfind("1 / 58 フレーム　", 0), 0u) << paces.front();
    EXPECT_EQ(paces.back().rfind("58 / 58 フレーム　", 0), 0u) << paces.back();
    EXPECT_NE(paces.back().find(" フレーム/秒　残り 0:00"), std::string::npos) << paces.back();
    EXPECT_TRUE(fs::exists(out));
    fs::remove(out);

    JobControl cancelled(JobControl::Sinks{[&](int, int total) {
                                               if (total == 58) cancelled.Cancel();
                                           },
                                           [](std::uint32_t) {}});
    ASSERT_TRUE(cancelled.Start([&](JobControl& j) {
        result = RunUploadConversion(j, source_, out, playcore::ConvertSettings{}, 58, 0);
        return 0u;
    }));
    cancelled.Join();
    EXPECT_EQ(result.load(), 2);
    EXPECT_FALSE(fs::exists(out));
}
