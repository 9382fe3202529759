// The recording list panel: row colours, count, filter switches, header sorts,
// what the owner is told, and the folder tree.

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/folder_tree_ctrl.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"
#include "skin/gui_support.h"

namespace kinetta {
namespace {

RecordingEntry Entry(const std::string& name, int running = 0, int knownTrigger = 0) {
    RecordingEntry e;
    e.frontName = name;
    e.frontPath = "/card/20230525_001/" + name;
    e.runningNumber = running;
    e.knownTrigger = knownTrigger;
    e.frontSize = 10 << 20;
    return e;
}

QColor PixelOf(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// Whether the rows y0 .. y1 of the image, left of x1, have a pixel that is
// light (text on the dark list colour) or black (text on the light colours).
bool HasPixel(const QImage& image, int y0, int y1, int x1, bool light) {
    for (int y = y0; y < y1; ++y)
        for (int x = 2; x < x1; ++x) {
            const QColor c = PixelOf(image, x, y);
            if (light && c.red() > 200 && c.green() > 200 && c.blue() > 200) return true;
            if (!light && c.red() < 20 && c.green() < 20 && c.blue() < 20) return true;
        }
    return false;
}

// The application exists before the fixture's widgets.
struct WithApp {
    WithApp() {
        ktest::App();
        SetSkinScale(1.0, 1.0, 96);
    }
};

class ListUi : public ::testing::Test, private WithApp {
protected:
    void SetUp() override {
        panel.resize(376, 600);
        panel.show();
        ktest::Pump();
    }
    // Mouse click on row `row` of the list.
    void ClickRow(int row) {
        CFileListCtrl* list = panel.List();
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        ktest::Pump();
    }
    CFilerContainerDlg panel;
};

TEST_F(ListUi, RowColoursOfEventRowsAndSelection) {
    // Shock and manual are event recordings; continuous and parking are not.
    panel.SetScanResult({Entry("001_120000A_M.MP4"), Entry("002_120000G_M.MP4"),
                         Entry("003_120000P_M.MP4"), Entry("004_120000M_M.MP4")},
                        RecorderFamily::TX40);
    panel.SelectRow(1);
    ktest::Pump();
    CFileListCtrl* list = panel.List();
    const QImage image = list->viewport()->grab().toImage();
    const int rowH = list->rowHeight(0);
    const int inside = kListColumnNameWidth - 4; // right of any name text, inside column 0
    auto mid = [&](int row) { return row * rowH + rowH / 2; };

    EXPECT_EQ(PixelOf(image, inside, mid(0)), kListBackground);
    EXPECT_EQ(PixelOf(image, inside, mid(1)), kListSelectedEventBackground); // selected event
    EXPECT_EQ(PixelOf(image, inside, mid(2)), kListBackground);
    EXPECT_EQ(PixelOf(image, inside, mid(3)), kListEventBackground);
    // Every cell is framed in grey.
    EXPECT_EQ(PixelOf(image, 0, mid(0)), kListCellFrame);
    EXPECT_EQ(PixelOf(image, inside, 0), kListCellFrame);
    EXPECT_EQ(PixelOf(image, kListColumnNameWidth, mid(2)), kListCellFrame);
    // White text on the dark rows, black on the light ones.
    EXPECT_TRUE(HasPixel(image, 2, rowH - 2, inside, true));
    EXPECT_FALSE(HasPixel(image, 2, rowH - 2, inside, false));
    EXPECT_TRUE(HasPixel(image, 3 * rowH + 2, 4 * rowH - 2, inside, false));
    // Below the rows: the list colour.
    EXPECT_EQ(PixelOf(image, 10, image.height() - 3), kListBackground);

    panel.SelectRow(2); // a selected ordinary row
    ktest::Pump();
    const QImage second = list->viewport()->grab().toImage();
    EXPECT_EQ(PixelOf(second, inside, mid(2)), kListSelectedBackground);
    EXPECT_EQ(PixelOf(second, inside, mid(1)), kListEventBackground);
    // The texts of both columns.
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), "002_120000G");
    EXPECT_EQ(list->model()->index(1, 1).data().toString(), "衝撃");
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), "ファイルNo.");
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), "録画トリガー");
    EXPECT_EQ(list->columnWidth(0), 128);
    EXPECT_EQ(list->columnWidth(1), 50);
}

TEST_F(ListUi, CountAndFilterSwitchesPerFamily) {
    QSignalSpy rebuilt(&panel, &CFilerContainerDlg::ListRebuilt);
    QSignalSpy selected(&panel, &CFilerContainerDlg::RowSelected);
    panel.SetScanResult({Entry("001_120000A_M.MP4"), Entry("002_120000G_M.MP4"),
                         Entry("003_120000M_M.MP4"), Entry("004_120000P_M.MP4"),
                         Entry("005_120000T_M.MP4"), Entry("006_120000S_M.MP4"),
                         Entry("readme.MP4")},
                        RecorderFamily::TX40);
    EXPECT_EQ(panel.CountLabel()->text(), "7個");
    EXPECT_EQ(rebuilt.count(), 1);
    EXPECT_EQ(selected.count(), 0); // the owner's own call is not reported back
    EXPECT_EQ(panel.SelectedRow(), 0);

    // The TX40 family shows five labelled switches.
    const char* labels[] = {"常時", "衝撃", "マニュアル", "駐車", "駐車衝撃"};
    for (int k = 0; k < 5; ++k) {
        EXPECT_TRUE(panel.FilterSwitch(k)->isVisible()) << k;
        EXPECT_EQ(panel.FilterLabel(k)->text(), labels[k]);
        EXPECT_EQ(panel.FilterSwitch(k)->CurrentFrame(), kFramePressed); // on
    }
    EXPECT_FALSE(panel.FilterSwitch(5)->isVisible());
    EXPECT_FALSE(panel.FilterSwitch(6)->isVisible());

    // "常時" off by a click: continuous recordings leave, unknown names stay.
    panel.SelectRow(3);
    QTest::mouseClick(panel.FilterSwitch(0), Qt::LeftButton);
    ktest::Pump();
    EXPECT_FALSE(panel.Filter().on[0]);
    EXPECT_NE(panel.FilterSwitch(0)->CurrentFrame(), kFramePressed);
    EXPECT_EQ(panel.CountLabel()->text(), "6個");
    EXPECT_EQ(panel.Rows().front().frontName, "002_120000G_M.MP4");
    EXPECT_EQ(panel.Rows().back().frontName, "readme.MP4");
    EXPECT_EQ(panel.SelectedRow(), 0);
    EXPECT_EQ(rebuilt.count(), 2);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.takeFirst().at(0).toInt(), 0);

    // The parking switch also takes the TX40 T recordings; the owner's menu
    // routes the command the same way.
    panel.OnCommand(39003);
    EXPECT_EQ(panel.CountLabel()->text(), "4個");
    for (const RecordingEntry& e : panel.Rows()) {
        EXPECT_NE(e.frontName, "004_120000P_M.MP4");
        EXPECT_NE(e.frontName, "005_120000T_M.MP4");
    }
    panel.OnCommand(39000);
    panel.OnCommand(39003);
    EXPECT_EQ(panel.CountLabel()->text(), "7個");
    panel.OnCommand(39007); // not a filter command
    EXPECT_EQ(panel.CountLabel()->text(), "7個");

    // The TX50 family also shows "速度取締機"; the radar switch stays hidden.
    panel.SetScanResult({Entry("001_120000ANO_F.MP4"), Entry("002_120000ANN_F.MP4")},
                        RecorderFamily::TX50);
    EXPECT_TRUE(panel.FilterSwitch(5)->isVisible());
    EXPECT_EQ(panel.FilterLabel(5)->text(), "速度取締機");
    EXPECT_FALSE(panel.FilterSwitch(6)->isVisible());
    QTest::mouseClick(panel.FilterSwitch(5), Qt::LeftButton);
    EXPECT_EQ(panel.CountLabel()->text(), "1個");
    EXPECT_EQ(panel.Rows().front().frontName, "002_120000ANN_F.MP4");

    // A filter that leaves nothing: the count reads 0 and no row is reported.
    selected.clear();
    panel.OnCommand(39000);
    EXPECT_EQ(panel.CountLabel()->text(), "0個");
    EXPECT_EQ(panel.SelectedRow(), -1);
    EXPECT_EQ(selected.count(), 0);
}

TEST_F(ListUi, HeaderClicksSortAndSelectRowZero) {
    // Displayed order differs from the order of discovery and of the triggers.
    panel.SetScanResult({Entry("003_120000M_M.MP4", 1, 'M'), Entry("001_120000A_M.MP4", 2, 'A'),
                         Entry("002_120000G_M.MP4", 0, 'G')},
                        RecorderFamily::TX40);
    panel.SelectRow(2);
    QSignalSpy selected(&panel, &CFilerContainerDlg::RowSelected);
    QSignalSpy rebuilt(&panel, &CFilerContainerDlg::ListRebuilt);
    CFileListHeaderCtrl* header = panel.List()->Header();

    auto clickSection = [&](int section) {
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        ktest::Pump();
    };
    clickSection(1); // known trigger, smaller first: A < G < M
    ASSERT_EQ(panel.RowCount(), 3);
    EXPECT_EQ(panel.Rows()[0].frontName, "001_120000A_M.MP4");
    EXPECT_EQ(panel.Rows()[1].frontName, "002_120000G_M.MP4");
    EXPECT_EQ(panel.Rows()[2].frontName, "003_120000M_M.MP4");
    EXPECT_EQ(panel.SelectedRow(), 0);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.takeFirst().at(0).toInt(), 0);
    EXPECT_EQ(rebuilt.count(), 1);

    panel.SelectRow(1);
    clickSection(0); // back into the order of discovery
    EXPECT_EQ(panel.Rows()[0].frontName, "002_120000G_M.MP4");
    EXPECT_EQ(panel.Rows()[1].frontName, "003_120000M_M.MP4");
    EXPECT_EQ(panel.Rows()[2].frontName, "001_120000A_M.MP4");
    EXPECT_EQ(panel.SelectedRow(), 0);
    EXPECT_EQ(selected.count(), 1);
    // The model follows the copy: the texts are those of the sorted rows.
    EXPECT_EQ(panel.List()->model()->index(2, 0).data().toString(), "001_120000A");
}

TEST_F(ListUi, OwnerIsToldOfUserSelectionsOnly) {
    std::vector<RecordingEntry> scan;
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d_120000A_M.MP4", i);
        scan.push_back(Entry(name, i));
    }
    panel.SetScanResult(scan, RecorderFamily::TX40);
    QSignalSpy selected(&panel, &CFilerContainerDlg::RowSelected);

    ClickRow(2);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.takeFirst().at(0).toInt(), 2);
    EXPECT_EQ(panel.SelectedRow(), 2);
    ClickRow(2); // the same row again: no change, nothing to tell
    EXPECT_EQ(selected.count(), 0);

    // Select row n from the owner: old selection cleared, n selected, focused
    // and scrolled into view, and not reported back.
    panel.SelectRow(39);
    EXPECT_EQ(panel.SelectedRow(), 39);
    EXPECT_EQ(panel.List()->currentIndex().row(), 39);
    EXPECT_EQ(panel.List()->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(panel.List()->viewport()->rect().intersects(
        panel.List()->visualRect(panel.List()->model()->index(39, 0))));
    panel.SelectRow(40); // out of range: ignored
    panel.SelectRow(-1);
    EXPECT_EQ(panel.SelectedRow(), 39);
    EXPECT_EQ(selected.count(), 0);

    // The keyboard moves the selection like a click.
    panel.List()->setFocus();
    QTest::keyClick(panel.List(), Qt::Key_Up);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.takeFirst().at(0).toInt(), 38);
}

TEST_F(ListUi, FolderTreeItemsMarksSelectionAndPath) {
    const std::vector<TreeItem> tree = {
        {"20230525_001", "/card/20230525_001", -1, 0, 0x01 | 0x02 | 0x20},
        {"20230526_001", "/card/20230525_001/20230526_001", 0, 1, 0x04},
        {"20230527_001", "/card/20230527_001", -1, 0, 0x01},
    };
    panel.SetFolderTree(tree, RecorderFamily::TX50);
    CFolderTreeCtrl* ctrl = panel.Tree();
    ktest::Pump();
    ASSERT_EQ(ctrl->ItemCount(), 3);
    EXPECT_EQ(panel.SelectedFolderItem(), -1);
    EXPECT_TRUE(panel.PathLabel()->text().isEmpty());
    // The TX50 family's folder picture.
    EXPECT_EQ(ctrl->FolderPicture().toImage(), LoadSkinPicture(kPicFolderTx50, 1.0).toImage());
    EXPECT_EQ(ctrl->topLevelItemCount(), 2);
    EXPECT_EQ(ctrl->topLevelItem(0)->childCount(), 1);

    const QImage image = ctrl->viewport()->grab().toImage();
    auto rectOf = [&](int index) {
        QTreeWidgetItem* w =
            index == 1 ? ctrl->topLevelItem(0)->child(0) : ctrl->topLevelItem(index == 0 ? 0 : 1);
        return ctrl->visualItemRect(w);
    };
    // Marks follow the folder picture in the order of their bits: item 0 shows
    // 0x02 then 0x20 (0x01 has no mark); item 1 shows 0x04.
    auto markPixel = [&](int index, int slot) {
        const QRect r = rectOf(index);
        const int x = r.left() + 2 + ctrl->FolderPicture().width() + 2 + slot * (12 + 2);
        return PixelOf(image, x + 1, r.top() + r.height() / 2);
    };
    auto markColour = [&](int bit) {
        const QImage mark = ctrl->MarkPicture(bit).toImage();
        return PixelOf(mark, 1, mark.height() / 2);
    };
    EXPECT_EQ(markPixel(0, 0), markColour(0x02));
    EXPECT_EQ(markPixel(0, 1), markColour(0x20));
    EXPECT_EQ(markPixel(1, 0), markColour(0x04));
    EXPECT_NE(markPixel(2, 0), markColour(0x02)); // no marks: the name follows
    // Unselected items on the dark colour.
    const QRect r2 = rectOf(2);
    EXPECT_EQ(PixelOf(image, r2.right() - 2, r2.center().y()), kTreeBackground);

    // A click on the nested item: the owner is asked to open its folder, and
    // the label shows the path from the top item.
    QSignalSpy folder(&panel, &CFilerContainerDlg::FolderSelected);
    const QRect r1 = rectOf(1);
    QTest::mouseClick(ctrl->viewport(), Qt::LeftButton, {},
                      QPoint(r1.right() - 4, r1.center().y()));
    ktest::Pump();
    ASSERT_EQ(folder.count(), 1);
    EXPECT_EQ(folder.at(0).at(0).toInt(), 1);
    EXPECT_EQ(folder.at(0).at(1).toString(), "/card/20230525_001/20230526_001");
    EXPECT_EQ(panel.PathLabel()->text(), "20230525_001\\20230526_001");
    EXPECT_EQ(panel.SelectedFolderItem(), 1);
    const QImage selectedImage = ctrl->viewport()->grab().toImage();
    EXPECT_EQ(PixelOf(selectedImage, r1.right() - 2, r1.center().y()), kTreeSelectedBackground);
    EXPECT_EQ(PixelOf(selectedImage, r2.right() - 2, r2.center().y()), kTreeBackground);
    EXPECT_EQ(panel.NextFolderItem(), 2);

    // Selecting from the owner updates the label silently.
    EXPECT_TRUE(panel.SelectFolderItem(2));
    EXPECT_EQ(panel.PathLabel()->text(), "20230527_001");
    EXPECT_EQ(panel.NextFolderItem(), -1);
    EXPECT_FALSE(panel.SelectFolderItem(3));
    EXPECT_EQ(folder.count(), 1);

    // The owner answers a click by opening the folder: a new tree and list in
    // its handler.
    const QMetaObject::Connection owner = QObject::connect(
        &panel, &CFilerContainerDlg::FolderSelected, &panel, [&](int, const QString&) {
            panel.SetFolderTree({tree[0]}, RecorderFamily::TX50);
            panel.SetScanResult({Entry("001_120000ANN_F.MP4")}, RecorderFamily::TX50);
        });
    const QRect r0 = rectOf(0);
    QTest::mouseClick(ctrl->viewport(), Qt::LeftButton, {},
                      QPoint(r0.right() - 4, r0.center().y()));
    ktest::Pump();
    EXPECT_EQ(folder.count(), 2);
    EXPECT_EQ(ctrl->ItemCount(), 1);
    EXPECT_EQ(panel.RowCount(), 1);
    EXPECT_EQ(panel.SelectedFolderItem(), -1);
    QObject::disconnect(owner);

    // The TX40 family draws its own folder picture.
    panel.SetFolderTree(tree, RecorderFamily::TX40);
    EXPECT_EQ(ctrl->FolderPicture().toImage(), LoadSkinPicture(kPicFolderTx40, 1.0).toImage());
    EXPECT_TRUE(panel.PathLabel()->text().isEmpty());
}

// A card of 5,000 recordings: every row listed, a filter toggle counts the
// rest, a far row can be selected. (How long this takes: bench/list_figures.)
TEST_F(ListUi, LargeListFillsFiltersAndJumps) {
    std::vector<RecordingEntry> scan;
    const char triggers[] = "AGMPS";
    for (int i = 0; i < 5000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d_%06d%c_M.MP4", i % 1000, i, triggers[i % 5]);
        scan.push_back(Entry(name, i));
    }
    panel.SetScanResult(scan, RecorderFamily::TX40);
    ktest::Pump();
    EXPECT_EQ(panel.RowCount(), 5000);
    panel.OnCommand(39000);
    ktest::Pump();
    EXPECT_EQ(panel.CountLabel()->text(), "4000個");
    panel.SelectRow(3900);
    EXPECT_EQ(panel.SelectedRow(), 3900);
}

} // namespace
} // namespace kinetta
