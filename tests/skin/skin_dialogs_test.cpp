// The skinned dialogs: resize frame, title strip, message box and wait dialog.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "gui_support.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/resize_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_dialog.h"
#include "kinetta/skin/wait_dlg.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

using ktest::MouseAt;

class SkinDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ktest::App();
        SetSkinScale(1.0, 1.0, 96);
        SetSettingsDirectory(dir.path());
    }
    ktest::TempDir dir;
};

// A floating window of the map's size on a 1920 x 1080 monitor.
class FloatingWindow : public CResizeDialog {
public:
    FloatingWindow() {
        SetDesignSize(QSize(375, 421));
        SetSettingsSection(QStringLiteral("MAPDISPLAY"));
        setGeometry(300, 200, 375, 421);
    }
    QSize MonitorSize() const override { return {1920, 1080}; }
    std::vector<HitRegion> doubleClicks;
    int resized = 0;

protected:
    void OnDoubleClickRegion(HitRegion r) override { doubleClicks.push_back(r); }
    void OnResizedByFrame() override { ++resized; }
};

TEST_F(SkinDialogs, ResizeStopsAtDesignAndMonitorSizeAndSavesMultipliers) {
    FloatingWindow w;
    w.show();
    ktest::Pump();
    const QRect start = w.frameGeometry();
    const int right = start.right(); // last pixel column: the right border
    const int midY = start.top() + 200;
    ASSERT_EQ(w.HitTest({right, midY}), HitRegion::Right);

    // Dragged far to the left: the window stops at its design width.
    MouseAt(&w, QEvent::MouseButtonPress, {right, midY});
    EXPECT_TRUE(w.Pressed());
    MouseAt(&w, QEvent::MouseMove, {start.left() + 50, midY});
    EXPECT_TRUE(w.FrameWindow()->isVisible()); // the outline shows the new rectangle
    EXPECT_EQ(w.FrameWindow()->geometry().width(), 375);
    MouseAt(&w, QEvent::MouseButtonRelease, {start.left() + 50, midY});
    EXPECT_FALSE(w.FrameWindow()->isVisible());
    EXPECT_EQ(w.width(), 375);
    EXPECT_EQ(ReadSetting("MAPDISPLAY", "SCALEX"), "1.000000");
    EXPECT_EQ(ReadSetting("MAPDISPLAY", "SCALEY"), "1.000000");

    // Dragged far to the right and down: it stops at the monitor's size.
    const QRect now = w.frameGeometry();
    MouseAt(&w, QEvent::MouseButtonPress, now.bottomRight());
    EXPECT_EQ(w.PressedRegion(), HitRegion::BottomRight);
    MouseAt(&w, QEvent::MouseButtonRelease, {now.left() + 9000, now.top() + 9000});
    EXPECT_EQ(w.size(), QSize(1920, 1080));
    EXPECT_EQ(w.frameGeometry().topLeft(), now.topLeft()); // the opposite edges stay
    EXPECT_EQ(ReadSetting("MAPDISPLAY", "SCALEX"), "5.120000");
    EXPECT_EQ(ReadSetting("MAPDISPLAY", "SCALEY"), "2.565321");
    EXPECT_DOUBLE_EQ(w.Multipliers().x, 1920.0 / 375.0);
    EXPECT_EQ(w.resized, 2);

    // A new window of the section starts with the saved multipliers.
    FloatingWindow again;
    EXPECT_NEAR(again.Multipliers().x, 5.12, 1e-9);
    again.ApplyMultipliers();
    EXPECT_EQ(again.size(), QSize(1920, 1080)); // trunc(421 x 2.565321) = 1080
}

TEST_F(SkinDialogs, CaptionDragMovesWithoutSavingAndDoubleClickReportsTheRegion) {
    ASSERT_TRUE(WriteSetting("MAPDISPLAY", "SCALEX", "0"));
    ASSERT_TRUE(WriteSetting("MAPDISPLAY", "SCALEY", "-2"));
    FloatingWindow w;
    EXPECT_DOUBLE_EQ(w.Multipliers().x, 1.0); // not above 0: keeps 1
    EXPECT_DOUBLE_EQ(w.Multipliers().y, 1.0);
    w.show();
    ktest::Pump();
    const QPoint origin = w.pos();
    const QPoint grip = w.frameGeometry().topLeft() + QPoint(100, 10);
    ASSERT_EQ(w.HitTest(grip), HitRegion::Caption);
    MouseAt(&w, QEvent::MouseButtonPress, grip);
    MouseAt(&w, QEvent::MouseMove, grip + QPoint(40, 30));
    EXPECT_EQ(w.pos(), origin + QPoint(40, 30));
    MouseAt(&w, QEvent::MouseButtonRelease, grip + QPoint(40, 30));
    EXPECT_EQ(ReadSetting("MAPDISPLAY", "SCALEX"), "0");
    EXPECT_EQ(w.resized, 0);

    const QPoint caption = w.frameGeometry().topLeft() + QPoint(100, 10);
    MouseAt(&w, QEvent::MouseButtonDblClick, caption);
    ASSERT_EQ(w.doubleClicks.size(), 1u);
    EXPECT_EQ(w.doubleClicks[0], HitRegion::Caption);
    EXPECT_FALSE(w.Pressed());

    // The cursor follows the region under the pointer.
    MouseAt(&w, QEvent::MouseMove, w.frameGeometry().topLeft() + QPoint(1, 200));
    EXPECT_EQ(w.cursor().shape(), Qt::SizeHorCursor);
    MouseAt(&w, QEvent::MouseMove, w.frameGeometry().topLeft() + QPoint(1, 1));
    EXPECT_EQ(w.cursor().shape(), Qt::SizeFDiagCursor);
    MouseAt(&w, QEvent::MouseMove, w.frameGeometry().topLeft() + QPoint(200, 200));
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    // In full screen the whole window is client: no drag starts.
    w.SetFullScreenHitTest(true);
    MouseAt(&w, QEvent::MouseButtonPress, w.frameGeometry().topLeft() + QPoint(1, 200));
    EXPECT_FALSE(w.Pressed());
}

TEST_F(SkinDialogs, SkinnedDialogTitleStripAndCloseButton) {
    SetSkinScale(1.5, 1.5, 96);
    CSkinDialog dlg;
    dlg.setWindowTitle(QStringLiteral("参照先"));
    // Sized before it is shown: a resize right after show() can be undone by
    // the X server's late report of the window's first size.
    dlg.resize(600, 300);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    ktest::Pump();
    ASSERT_EQ(dlg.size(), QSize(600, 300));
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    CSkinButton* close = dlg.CloseButton();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->ControlId(), kSkinCloseButtonId);
    EXPECT_EQ(close->geometry(), QRect(600 - 30, 6, 19, 18));
    const QImage image = dlg.grab().toImage();
    EXPECT_EQ(image.pixelColor(300, 2), QColor(0x80, 0x80, 0x80));  // title strip
    EXPECT_EQ(image.pixelColor(300, 31), QColor(0x3F, 0x3F, 0x3F)); // below it
    dlg.resize(800, 300);
    ktest::Pump();
    // re-placed on every resize
    EXPECT_TRUE(QTest::qWaitFor([&] { return close->geometry().left() == 800 - 30; }, 5000))
        << close->geometry().left();
    close->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

TEST_F(SkinDialogs, MessageBoxResultsAndEscape) {
    // A type-0 box closed with Escape returns 2.
    ktest::WhenModal([](QWidget* w) { PressKey(w, Qt::Key_Escape); });
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("完了しました。"), QStringLiteral("終了"), 0),
              2);
    ktest::WhenModal([](QWidget* w) { PressKey(w, Qt::Key_Escape); });
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("削除しますか？"), QStringLiteral("確認"), 4),
              7);
    ktest::WhenModal([](QWidget* w) { PressKey(w, Qt::Key_Escape); });
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 1), 2);

    auto clickButton = [](int index) {
        return [index](QWidget* w) {
            auto* dlg = static_cast<CMsgDlg*>(w);
            (index == 0 ? dlg->FirstButton() : dlg->SecondButton())->click();
        };
    };
    ktest::WhenModal(clickButton(0));
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 4), 6);
    ktest::WhenModal(clickButton(1));
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 4), 7);
    ktest::WhenModal(clickButton(0));
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 1), 1);
    ktest::WhenModal(clickButton(1));
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 1), 2);
    ktest::WhenModal(clickButton(0));
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("ERROR"), 0), 1);
    ktest::WhenModal([](QWidget* w) { static_cast<CMsgDlg*>(w)->CloseButton()->click(); });
    EXPECT_EQ(CMsgBox::Show(nullptr, QStringLiteral("x"), QStringLiteral("確認"), 4), 7);
}

TEST_F(SkinDialogs, MessageBoxLayout) {
    for (double s : {1.0, 1.5}) {
        SetSkinScale(s, s, 96);
        CMsgDlg one(QStringLiteral("動画のオープンに失敗しました。"), QStringLiteral("ERROR"), 0);
        const MessageBoxLayout& l = one.Layout();
        EXPECT_EQ(one.size(), QSize(l.box.width, l.box.height));
        EXPECT_EQ(one.windowTitle(), QStringLiteral("ERROR"));
        EXPECT_EQ(one.TextLabel()->objectName(), QStringLiteral("1013"));
        EXPECT_EQ(one.TextLabel()->pos(), QPoint(Scaled(s, 40), Scaled(s, 30)));
        EXPECT_EQ(one.SecondButton(), nullptr);
        EXPECT_EQ(one.FirstButton()->text(), QStringLiteral("OK"));
        EXPECT_EQ(one.FirstButton()->geometry().right() + 1, l.box.width - Scaled(s, 15));
        EXPECT_EQ(one.FirstButton()->geometry().bottom() + 1, l.box.height - Scaled(s, 15));
        EXPECT_EQ(one.FirstButton()->size(), QSize(Scaled(s, 100), Scaled(s, 30)));
        // The text's measured width, scaled, plus the margins.
        EXPECT_GE(l.box.width, Scaled(s, 80) + 100);

        CMsgDlg two(QStringLiteral("x"), QStringLiteral("確認"), 4);
        ASSERT_NE(two.SecondButton(), nullptr);
        EXPECT_EQ(two.FirstButton()->text(), QStringLiteral("はい"));
        EXPECT_EQ(two.SecondButton()->text(), QStringLiteral("いいえ"));
        EXPECT_EQ(two.SecondButton()->geometry().left() - two.FirstButton()->geometry().right() - 1,
                  Scaled(s, 15));
        // Every button text is the interface table's.
        CMsgDlg three(QStringLiteral("x"), QStringLiteral("確認"), 1);
        EXPECT_EQ(three.FirstButton()->text(), QStringLiteral("OK"));
        EXPECT_EQ(three.SecondButton()->text(), QStringLiteral("キャンセル"));
        const QImage image = two.grab().toImage();
        EXPECT_EQ(image.pixelColor(5, two.height() / 2), QColor(255, 255, 255));
    }
}

TEST_F(SkinDialogs, MessageBoxShowsAFileNameAsWritten) {
    // A name that reads as markup (on the first line, where a label looks for
    // markup): drawn as written, not in bold or italics.
    const QString text = QStringLiteral(
        "/media/card/<b>BOLD<i>ital 20230525_001/001_101500ANN_F.MP4\nを開けません。");
    CMsgDlg box(text, QStringLiteral("ERROR"), 0);
    EXPECT_EQ(box.TextLabel()->text(), text);
    EXPECT_TRUE(ktest::ShowsLiterally(box.TextLabel()));
}

TEST_F(SkinDialogs, WaitDialogRunsTheTaskOnAWorkerAndCloses) {
    const auto ui = std::this_thread::get_id();
    std::thread::id worker;
    std::atomic<int> steps{0};
    CWaitDlg dlg(
        nullptr,
        [&](CWaitDlg& d) {
            worker = std::this_thread::get_id();
            for (int i = 1; i <= 10; ++i) {
                d.SetProgress(i * 5);
                ++steps;
            }
        },
        100, true);
    EXPECT_EQ(dlg.Progress()->objectName(), QStringLiteral("38400"));
    EXPECT_EQ(dlg.TextLabel()->objectName(), QStringLiteral("38401"));
    EXPECT_EQ(dlg.Progress()->maximum(), 100);
    EXPECT_EQ(dlg.Exec(), 1);
    EXPECT_EQ(steps.load(), 10);
    EXPECT_NE(worker, ui);
    // The count is reached when the task returns.
    EXPECT_EQ(dlg.Progress()->value(), 100);
    EXPECT_FALSE(dlg.Cancelled());
}

TEST_F(SkinDialogs, WaitDialogCancelOnlyAsksTheTaskToStop) {
    std::atomic<bool> sawCancel{false};
    ktest::WhenModal([](QWidget* w) {
        auto* dlg = static_cast<CWaitDlg*>(w);
        dlg->CancelButton()->click();
        PressKey(w, Qt::Key_Escape); // also only sets the flag
    });
    const int result = CWaitDlg::Run(
        nullptr,
        [&](CWaitDlg& d) {
            while (!d.Cancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            sawCancel = true;
        },
        100, true);
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(sawCancel.load());
}

TEST_F(SkinDialogs, WaitDialogMarqueeForm) {
    SetSkinScale(1.5, 1.5, 96);
    CWaitDlg dlg(nullptr, {}, 100, false);
    EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dlg.geometry(), QRect(1200, 900, 675, 300));
    EXPECT_TRUE(dlg.CancelButton()->isHidden());
    EXPECT_EQ(dlg.TextLabel()->text(), QStringLiteral("お待ちください..."));
    EXPECT_EQ(dlg.CancelButton()->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(dlg.Progress()->maximum(), 0); // running as a marquee
    EXPECT_EQ(dlg.Exec(), 1);                // an empty task returns at once
}

} // namespace
} // namespace kinetta
