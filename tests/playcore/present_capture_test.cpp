// Still capture: a still is what the surface shows, at the surface's size.

#include "gl_support.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "playcore/present/presenter.h"
#include "playcore/present/still_writer.h"
#include "playcore/present/video_widget.h"
#include "support/temp_dir.h"

using namespace playcore;
using namespace ktest;

namespace {

QStringList FilesIn(const std::string& dir) {
    return QDir(QString::fromStdString(dir)).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

TEST(StillCapture, WindowSizeNotMovieSize) {
    KTEST_NEED_GL();
    TempDir dir;
    OffscreenSurface surface;
    ASSERT_TRUE(surface.Create(QSize(1280, 720)));
    Presenter presenter(&surface);
    presenter.SetDisplayMode(kModeSphere);
    const QString path = QString::fromStdString(dir / "still.jpg");
    // Nothing presented yet: nothing to save.
    EXPECT_FALSE(presenter.SaveStill(path));
    EXPECT_FALSE(QFileInfo::exists(path));

    ASSERT_TRUE(presenter.PresentFrame(Share(FisheyeI420(320, 240))));
    presenter.DragView(0.25f, 0, 1.0f); // the turned view is what is saved
    ASSERT_TRUE(presenter.SaveStill(path));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage still = reader.read();
    ASSERT_EQ(still.size(), QSize(1280, 720));
    EXPECT_TRUE(ColourNear(still, 640, 360, ColourOf(kLeft), 12));
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"still.jpg"}); // no temporary left

    // Saving again replaces the file.
    presenter.ResetModelPose();
    ASSERT_TRUE(presenter.SaveStill(path));
    EXPECT_TRUE(ColourNear(QImage(path), 640, 360, ColourOf(kAhead), 12));
}

TEST(StillCapture, FailuresReturnFalseAndLeaveNothing) {
    KTEST_NEED_GL();
    TempDir dir;
    OffscreenSurface surface;
    ASSERT_TRUE(surface.Create(QSize(64, 64)));
    Presenter presenter(&surface);
    ASSERT_TRUE(presenter.PresentFrame(Share(FisheyeI420(32, 32))));
    EXPECT_FALSE(presenter.SaveStill(QString::fromStdString(dir / "missing/still.jpg")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir / "missing")));
    // A folder in place of the file.
    dir.Mkdir("taken.jpg");
    EXPECT_FALSE(presenter.SaveStill(QString::fromStdString(dir / "taken.jpg")));
    EXPECT_EQ(FilesIn(dir.path()), QStringList{});
    // Nothing to write.
    EXPECT_FALSE(WriteStillImage(QImage(), QString::fromStdString(dir / "a.jpg"), "jpeg", 90));
    // An encoder that does not exist fails before the file is put in place.
    EXPECT_FALSE(WriteStillImage(QImage(8, 8, QImage::Format_RGB32),
                                 QString::fromStdString(dir / "b.xyz"), "no-such-format", 90));
    EXPECT_EQ(FilesIn(dir.path()), QStringList{});
}

TEST(StillCapture, WidgetStillIsTheWidgetPicture) {
    KTEST_NEED_GL();
    TempDir dir;
    VideoWidget widget;
    widget.resize(480, 270);
    widget.show();
    Presenter presenter(&widget);
    presenter.SetDisplayMode(kModeRawNormal);
    ASSERT_TRUE(presenter.PresentFrame(Share(FisheyeI420(320, 240))));
    QApplication::processEvents();
    const QImage shown = widget.GrabPicture();
    ASSERT_EQ(shown.size(), widget.SurfaceSize());
    EXPECT_TRUE(ColourNear(shown, shown.width() / 2, shown.height() / 2, ColourOf(kCentre)));
    EXPECT_TRUE(ColourNear(shown, shown.width() / 2, shown.height() / 6, ColourOf(kAhead)));

    const QString path = QString::fromStdString(dir / "w.jpg");
    ASSERT_TRUE(presenter.SaveStill(path));
    const QImage still(path);
    ASSERT_EQ(still.size(), shown.size());
    EXPECT_TRUE(ColourNear(still, still.width() / 2, still.height() / 6, ColourOf(kAhead), 12));
}
