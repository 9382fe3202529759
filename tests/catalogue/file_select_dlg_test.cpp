// The file-selection dialog: the 1500-row message, ticks by click, the delayed
// notice of join mode, OK's refusals and the rows it hands back.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "kinetta/catalogue/file_select_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_list.h"
#include "skin/gui_support.h"

namespace kinetta {
namespace {

struct Shown {
    QString text, caption;
};

RecordingEntry Entry(int i, int64_t frontMiB, int64_t rearMiB, bool processed = false) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d_120000A_M.MP4", i);
    RecordingEntry e;
    e.frontName = name;
    e.frontPath = std::string("/card/20230525_001/") + name;
    if (rearMiB > 0) {
        std::snprintf(name, sizeof name, "%03d_120000A_R.MP4", i);
        e.rearName = name;
        e.rearPath = std::string("/card/20230525_001/") + name;
    }
    e.frontSize = frontMiB << 20;
    e.rearSize = rearMiB << 20;
    e.marked = processed ? 1 : 0;
    e.listNumber = i;
    return e;
}

std::vector<RecordingEntry> Entries(int n, int64_t frontMiB = 10, int64_t rearMiB = 10,
                                    int missingRearAt = -1) {
    std::vector<RecordingEntry> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Entry(i, frontMiB, i == missingRearAt ? 0 : rearMiB));
    return out;
}

class FileSelectUi : public ::testing::Test {
protected:
    void SetUp() override {
        ktest::App();
        SetSkinScale(1.0, 1.0, 96);
    }
    // A dialog whose messages are recorded instead of waiting for a user.
    std::unique_ptr<CFileSelectDlg> Make(FileSelectMode mode, std::vector<RecordingEntry> current,
                                         std::vector<RecordingEntry> all = {},
                                         RecorderFamily family = RecorderFamily::TX40,
                                         int focus = 0) {
        auto dlg = std::make_unique<CFileSelectDlg>(mode, std::move(current), std::move(all),
                                                    family, focus);
        dlg->SetMessageBox([this](QWidget*, const QString& text, const QString& caption, int) {
            shown.push_back({text, caption});
            return 1;
        });
        dlg->show();
        ktest::Pump();
        return dlg;
    }
    // A real click on row `row` of the dialog's list.
    static void ClickRow(CFileSelectDlg& dlg, int row) {
        CSkinListCtrl* list = dlg.List();
        list->scrollToItem(list->item(row, 0));
        const QRect r = list->visualItemRect(list->item(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        ktest::Pump();
    }
    static std::vector<int> TickedRows(const CFileSelectDlg& dlg) {
        std::vector<int> rows;
        for (int r = 0; r < dlg.List()->rowCount(); ++r) {
            EXPECT_EQ(dlg.List()->StateImage(r) == 3,
                      dlg.Selection().Ticked(static_cast<size_t>(r)))
                << "state image of row " << r;
            if (dlg.Selection().Ticked(static_cast<size_t>(r))) rows.push_back(r);
        }
        return rows;
    }
    // Waits (the dialog's own timer) until a message has been shown.
    bool WaitForMessage(size_t count) {
        for (int i = 0; i < 100 && shown.size() < count; ++i)
            QTest::qWait(20);
        return shown.size() >= count;
    }
    std::vector<Shown> shown;
};

TEST_F(FileSelectUi, MoreThan1500EntriesShowTheFirst1500AndSaySo) {
    auto dlg = Make(FileSelectMode::Delete, Entries(1501));
    EXPECT_EQ(dlg->List()->rowCount(), 1500);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "表示数が1500を超えています。1500項目表示します。");
    EXPECT_EQ(shown[0].caption, "ERROR");
    EXPECT_EQ(dlg->windowTitle(), "削除");
    EXPECT_EQ(dlg->OkButton()->text(), "削除");

    // Exactly 1500: no message.
    shown.clear();
    auto exact = Make(FileSelectMode::Delete, Entries(1500));
    EXPECT_EQ(exact->List()->rowCount(), 1500);
    EXPECT_TRUE(shown.empty());
}

TEST_F(FileSelectUi, JoinSelectAllStopsAtAnUnselectableRowAndNoticesAfterADelay) {
    // Rear switch on, ten rows, no rear file in row 5, focus on row 2.
    auto dlg = Make(FileSelectMode::Join, Entries(10, 10, 10, 5), {}, RecorderFamily::TX40, 2);
    EXPECT_EQ(dlg->windowTitle(), "連結");
    EXPECT_EQ(dlg->List()->currentRow(), 2);
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdSelectAllShown), Qt::LeftButton);
    ktest::Pump();
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 2, 3, 4}));
    // The notice waits its 500 ms.
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(dlg->NoticePending());
    ASSERT_TRUE(WaitForMessage(1));
    EXPECT_EQ(shown[0].text, "選択できないファイルがあります。");
    EXPECT_EQ(shown[0].caption, "確認");
    EXPECT_EQ(dlg->TotalLabel()->text(), "50 MB");
    EXPECT_EQ(dlg->RearTotalLabel()->text(), "50 MB");

    // A click on row 8 extends the range only up to row 4, and notices again.
    ClickRow(*dlg, 8);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(dlg->NoticePending());
    ASSERT_TRUE(WaitForMessage(2));
    EXPECT_EQ(shown[1].text, "選択できないファイルがあります。");

    // Inside the range: the range ends just before the clicked row; no notice.
    ClickRow(*dlg, 3);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(dlg->NoticePending());

    // Switching "表示された全てを選択" off unticks everything.
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdSelectAllShown), Qt::LeftButton);
    EXPECT_TRUE(TickedRows(*dlg).empty());
    EXPECT_FALSE(dlg->OkButton()->isEnabled());
    EXPECT_EQ(dlg->TotalLabel()->text(), "0 MB");

    // Closing the dialog drops a notice still waiting.
    ClickRow(*dlg, 5);
    EXPECT_TRUE(dlg->NoticePending());
    dlg->reject();
    EXPECT_FALSE(dlg->NoticePending());
}

TEST_F(FileSelectUi, OkRefusesTooLargeAndTooManyAndHandsBackTheTickedRows) {
    // Front only: 41 files of 25 MiB = 1025 MiB is over, 1024 MiB is not.
    std::vector<RecordingEntry> rows = Entries(41, 25, 0);
    rows[40].frontSize = 24LL << 20;
    rows.push_back(Entry(41, 1, 0));
    auto dlg = Make(FileSelectMode::Join, rows);
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdRearCamera), Qt::LeftButton); // rear off
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdSelectAllShown), Qt::LeftButton);
    EXPECT_EQ(dlg->TotalLabel()->text(), "1025 MB");
    EXPECT_EQ(dlg->RearTotalLabel()->text(), "0 MB");
    ASSERT_TRUE(dlg->OkButton()->isEnabled());
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    ktest::Pump();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "サイズオーバーです。");
    EXPECT_TRUE(dlg->isVisible()); // stays open
    EXPECT_EQ(dlg->result(), 0);

    ClickRow(*dlg, 41); // the range now ends before row 41: 1024 MiB
    EXPECT_EQ(dlg->TotalLabel()->text(), "1024 MB");
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    ktest::Pump();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    ASSERT_EQ(dlg->SelectedEntries().size(), 41u);
    for (size_t i = 0; i < 41; ++i)
        EXPECT_EQ(dlg->SelectedEntries()[i].listNumber, static_cast<int>(i));
    EXPECT_TRUE(dlg->FrontOn());
    EXPECT_FALSE(dlg->RearOn());

    // 100 files with a front file are too many; 99 pass.
    shown.clear();
    auto many = Make(FileSelectMode::Join, Entries(100, 1, 1));
    QTest::mouseClick(many->Switch(CFileSelectDlg::kIdSelectAllShown), Qt::LeftButton);
    QTest::mouseClick(many->OkButton(), Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "ファイル数を減らしてください。");
    EXPECT_EQ(many->result(), 0);
    ClickRow(*many, 99);
    QTest::mouseClick(many->OkButton(), Qt::LeftButton);
    EXPECT_EQ(many->result(), QDialog::Accepted);
    EXPECT_EQ(many->SelectedEntries().size(), 99u);
}

TEST_F(FileSelectUi, SaveTicksFreelyAndReturnsRowsInRowOrder) {
    std::vector<RecordingEntry> rows = Entries(5);
    rows[2].marked = 1; // processed earlier in this run
    auto dlg = Make(FileSelectMode::Save, rows, {}, RecorderFamily::TX40);
    EXPECT_EQ(dlg->windowTitle(), "動画保存（分割）");
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdFrontCamera)->text(), "メインを保存");
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdRearCamera)->text(), "リヤを保存");
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdUploadConversion), nullptr);
    EXPECT_EQ(dlg->List()->horizontalHeaderItem(0)->text(), "ファイル名");
    EXPECT_EQ(dlg->List()->horizontalHeaderItem(1)->text(), "メインカメラ");
    EXPECT_EQ(dlg->List()->horizontalHeaderItem(2)->text(), "リヤカメラ");
    EXPECT_EQ(dlg->List()->columnWidth(0), 250);
    EXPECT_EQ(dlg->List()->columnWidth(1), 105);
    EXPECT_EQ(dlg->List()->item(0, 0)->text(), "000_120000A");
    EXPECT_EQ(dlg->List()->item(0, 1)->text(), "10 MB");
    EXPECT_FALSE(dlg->OkButton()->isEnabled());

    // The processed row: magenta text on yellow.
    EXPECT_EQ(dlg->List()->item(2, 1)->foreground().color(), QColor(255, 0, 255));
    EXPECT_EQ(dlg->List()->item(2, 1)->background().color(), QColor(255, 255, 0));
    EXPECT_EQ(dlg->List()->item(1, 1)->background().style(), Qt::NoBrush);
    dlg->List()->setCurrentCell(0, 0);
    const QImage image = dlg->List()->viewport()->grab().toImage();
    const QRect cell = dlg->List()->visualItemRect(dlg->List()->item(2, 1));
    EXPECT_EQ(QColor(image.pixel(cell.left() + 3, cell.center().y())), QColor(255, 255, 0));

    ClickRow(*dlg, 3);
    ClickRow(*dlg, 1);
    ClickRow(*dlg, 4);
    ClickRow(*dlg, 4); // unticked again
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{1, 3}));
    EXPECT_EQ(dlg->TotalLabel()->text(), "20 MB");
    EXPECT_TRUE(dlg->OkButton()->isEnabled()); // one recording is enough to save
    // Space ticks the focused row.
    dlg->List()->setCurrentCell(0, 0);
    QTest::keyClick(dlg->List(), Qt::Key_Space);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 3}));
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    ASSERT_EQ(dlg->SelectedEntries().size(), 3u);
    EXPECT_EQ(dlg->SelectedEntries()[0].listNumber, 0);
    EXPECT_EQ(dlg->SelectedEntries()[1].listNumber, 1);
    EXPECT_EQ(dlg->SelectedEntries()[2].listNumber, 3);
    EXPECT_TRUE(shown.empty());
}

TEST_F(FileSelectUi, ShowAllSwitchesSourcesAndNamesFoldersWhenDeleting) {
    std::vector<RecordingEntry> all = Entries(3);
    all[2].frontPath = "/card/20230526_001/" + all[2].frontName;
    auto dlg = Make(FileSelectMode::Delete, {all[0]}, all);
    EXPECT_EQ(dlg->List()->rowCount(), 1);
    EXPECT_EQ(dlg->List()->item(0, 0)->text(), "000_120000A");
    EXPECT_EQ(dlg->RearTotalLabel(), nullptr);
    ClickRow(*dlg, 0);
    EXPECT_EQ(dlg->TotalLabel()->text(), "20 MB"); // front and rear together

    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdShowAllFiles), Qt::LeftButton);
    EXPECT_TRUE(dlg->ShowingAll());
    ASSERT_EQ(dlg->List()->rowCount(), 3);
    EXPECT_EQ(dlg->List()->item(0, 0)->text(), "20230525_001/000_120000A");
    EXPECT_EQ(dlg->List()->item(2, 0)->text(), "20230526_001/002_120000A");
    EXPECT_TRUE(TickedRows(*dlg).empty());
    EXPECT_EQ(dlg->TotalLabel()->text(), "0 MB");
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdSelectAllShown), Qt::LeftButton);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(dlg->TotalLabel()->text(), "60 MB");
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->SelectedEntries().size(), 3u);

    // Save mode shows plain names with all files shown, and lists only movies.
    std::vector<RecordingEntry> mixed = Entries(2);
    mixed[1].frontName = "001_120000A_M.DAT";
    mixed[1].frontPath = "/card/20230525_001/001_120000A_M.DAT";
    auto save = Make(FileSelectMode::Save, {}, mixed);
    EXPECT_EQ(save->List()->rowCount(), 0);
    QTest::mouseClick(save->Switch(CFileSelectDlg::kIdShowAllFiles), Qt::LeftButton);
    ASSERT_EQ(save->List()->rowCount(), 1);
    EXPECT_EQ(save->List()->item(0, 0)->text(), "000_120000A");
}

TEST_F(FileSelectUi, JoinCameraSwitchesAndUploadConversion) {
    auto dlg = Make(FileSelectMode::Join, Entries(4, 10, 10, 1), {}, RecorderFamily::TX50);
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdFrontCamera)->text(), "フロントを連結");
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdRearCamera)->text(), "リヤを連結");
    EXPECT_EQ(dlg->Switch(CFileSelectDlg::kIdUploadConversion)->text(), "アップロード変換");
    EXPECT_EQ(dlg->List()->horizontalHeaderItem(1)->text(), "フロントカメラ");

    ClickRow(*dlg, 1); // no rear file: not selectable with both cameras
    EXPECT_TRUE(TickedRows(*dlg).empty());
    ClickRow(*dlg, 2);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{2}));
    EXPECT_FALSE(dlg->OkButton()->isEnabled()); // a join needs two
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdUploadConversion), Qt::LeftButton);
    EXPECT_TRUE(dlg->UploadConversion());
    EXPECT_TRUE(dlg->OkButton()->isEnabled()); // one is enough to convert

    // Rear off: row 1 becomes selectable and the range may grow over it.
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdRearCamera), Qt::LeftButton);
    EXPECT_EQ(dlg->RearTotalLabel()->text(), "0 MB");
    ClickRow(*dlg, 0);
    EXPECT_EQ(TickedRows(*dlg), (std::vector<int>{0, 1, 2}));
    // Both cameras off: nothing may be confirmed.
    QTest::mouseClick(dlg->Switch(CFileSelectDlg::kIdFrontCamera), Qt::LeftButton);
    EXPECT_FALSE(dlg->OkButton()->isEnabled());
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), 0);
}

} // namespace
} // namespace kinetta
