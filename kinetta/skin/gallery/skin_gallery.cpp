// skin-gallery OUTPUT_DIR
// Renders every picture of the skin and every skinned control at S = 1 and
// S = 1.5 into PNG contact sheets (pictures_s1.png, pictures_s1.5.png,
// controls_s1.png, controls_s1.5.png), so that the artwork can be looked over at
// once. Runs without a display (QT_QPA_PLATFORM=offscreen is chosen when none
// is set).

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kinetta/base/display_scale.h"
#include "kinetta/skin/msg_box.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_dialog.h"
#include "kinetta/skin/skin_list.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/skin_progress.h"
#include "kinetta/skin/skin_slider.h"
#include "kinetta/skin/wait_dlg.h"

using namespace kinetta;

namespace {

// Lays tiles out left to right in rows of at most maxWidth pixels.
class Sheet {
public:
    Sheet(int maxWidth, double s) : maxWidth_(maxWidth), s_(s) {}

    void Add(const QPixmap& picture, const QString& label) {
        const int labelHeight = Scaled(s_, 16);
        const int labelWidth = QFontMetrics(SharedFont(kFont9)).horizontalAdvance(label);
        const int w = std::max(picture.width(), labelWidth) + gap_;
        const int h = picture.height() + labelHeight + gap_;
        if (x_ + w > maxWidth_ && x_ > gap_) NewRow();
        tiles_.push_back({picture, label, QPoint(x_, y_ + labelHeight)});
        x_ += w;
        rowHeight_ = std::max(rowHeight_, h);
        width_ = std::max(width_, x_);
    }
    void NewRow() {
        y_ += rowHeight_;
        x_ = gap_;
        rowHeight_ = 0;
    }
    void Heading(const QString& text) {
        NewRow();
        headings_.push_back({text, y_});
        y_ += Scaled(s_, 24);
    }

    QImage Render() const {
        const int height = y_ + rowHeight_ + gap_;
        QImage image(std::max(width_, 200), height, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(0x3F, 0x3F, 0x3F));
        QPainter p(&image);
        QFont small = SharedFont(kFont9);
        p.setFont(small);
        for (const auto& t : tiles_) {
            p.setPen(QColor(0xC8, 0xC8, 0xC8));
            p.drawText(t.at.x(), t.at.y() - Scaled(s_, 4), t.label);
            // A faint box shows each picture's extent on the background.
            p.setPen(QColor(0x55, 0x55, 0x55));
            p.drawRect(QRect(t.at, t.picture.size()).adjusted(-1, -1, 0, 0));
            p.drawPixmap(t.at, t.picture);
        }
        p.setFont(SharedFont(kFont12));
        p.setPen(QColor(0x00, 0xCC, 0xFF));
        for (const auto& h : headings_)
            p.drawText(gap_, h.second + Scaled(s_, 18), h.first);
        return image;
    }

private:
    struct Tile {
        QPixmap picture;
        QString label;
        QPoint at;
    };
    int maxWidth_;
    double s_;
    int gap_ = 12;
    int x_ = 12, y_ = 12, rowHeight_ = 0, width_ = 0;
    std::vector<Tile> tiles_;
    std::vector<std::pair<QString, int>> headings_;
};

QRect Rect(double s, int x, int y, int w, int h) {
    return QRect(Scaled(s, x), Scaled(s, y), Scaled(s, w), Scaled(s, h));
}

void Hover(QWidget* w) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(w, &enter);
}

QImage PicturesSheet(double s) {
    Sheet sheet(Scaled(s, 1700), s);
    int lastGroup = -1;
    for (const SkinPictureInfo& info : SkinPictures()) {
        const int group = info.id >= 38000 ? 3 : info.id >= 680 ? 2 : info.id >= 600 ? 1 : 0;
        if (group != lastGroup) {
            static const char* kGroups[] = {"pictures named by the windows",
                                            "pictures of this skin", "map pins", "toolbar"};
            sheet.Heading(QString::fromLatin1(kGroups[group]));
            lastGroup = group;
        }
        const QPixmap picture = LoadSkinPicture(info.id, s);
        sheet.Add(picture, QStringLiteral("%1  %2x%3 > %4x%5")
                               .arg(info.id)
                               .arg(info.width)
                               .arg(info.height)
                               .arg(picture.width())
                               .arg(picture.height()));
    }
    return sheet.Render();
}

QImage ControlsSheet(double s) {
    Sheet sheet(Scaled(s, 1400), s);
    QWidget host;
    host.resize(Scaled(s, 1100), Scaled(s, 700));
    QPalette pal = host.palette();
    pal.setColor(QPalette::Window, kSkinWindowColor);
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    host.setPalette(pal);

    sheet.Heading(QStringLiteral("toolbar buttons (normal), play button faces"));
    const int e = Scaled(s, 32);
    for (int id = kPicToolbarFirst; id <= kPicToolbarLast; ++id) {
        CSkinButton button(id, QRect(0, 0, e, e), &host, id);
        sheet.Add(button.grab(), QString::number(id));
    }
    {
        CSkinButton pause(kPicPauseButton, QRect(0, 0, e, e), &host, 38002);
        sheet.Add(pause.grab(), QStringLiteral("pause"));
    }

    sheet.Heading(QStringLiteral("button states: normal, hover, pressed look, disabled"));
    for (int id : {38002, kPicControllerUp, kPicControllerReset, kPicCaptionClose, kPicDialogClose,
                   kPicAxisX, kPicFilterSwitch, kPicSourceSd}) {
        const QSize stored = StoredPictureSize(id);
        const int frames = FindSkinPicture(id)->frames;
        const QSize frame(Scaled(s, stored.width() / frames), Scaled(s, stored.height()));
        for (int state = 0; state < 4; ++state) {
            CSkinButton b(id, QRect(QPoint(0, 0), frame), &host, 1000 + state);
            if (state == 1) Hover(&b);
            if (state == 2) b.SetPressedLook(true);
            if (state == 3) b.setEnabled(false);
            sheet.Add(b.grab(), QStringLiteral("%1/%2").arg(id).arg(b.CurrentFrame()));
        }
        sheet.NewRow();
    }
    {
        CSkinButton text(kPicTextButton, Rect(s, 0, 0, 100, 30), &host, 1);
        text.setText(QStringLiteral("OK"));
        sheet.Add(text.grab(), QStringLiteral("text button"));
        Hover(&text);
        sheet.Add(text.grab(), QStringLiteral("hover"));
        CSkinButton dis(kPicTextButton, Rect(s, 0, 0, 100, 30), &host, 2);
        dis.setText(QStringLiteral("キャンセル"));
        dis.setEnabled(false);
        sheet.Add(dis.grab(), QStringLiteral("disabled"));
    }

    sheet.Heading(QStringLiteral("check buttons"));
    for (int state = 0; state < 4; ++state) {
        CSkinCheckButton c(kPicCheckBox, QStringLiteral("駐車監視衝撃"), Rect(s, 0, 0, 160, 24),
                           &host, 32970);
        c.setChecked(state == 1 || state == 3);
        if (state >= 2) c.setEnabled(false);
        sheet.Add(c.grab(), QStringLiteral("frame %1").arg(c.CurrentFrame()));
    }

    sheet.Heading(QStringLiteral("position slider (709 wide) at 0, 40 %, end, dragging; volume"));
    for (int variant = 0; variant < 4; ++variant) {
        CSkinSliderCtrl slider(38100, &host,
                               {kPicPositionTrackPlayed, kPicPositionTrackRest, kPicPositionThumb,
                                kPicPositionThumbDrag});
        slider.resize(Scaled(s, 709), Scaled(s, 10));
        slider.SetRange(0, 1000);
        slider.SetPos(variant == 0 ? 0 : variant == 2 ? 1000 : 400);
        if (variant == 3) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(Scaled(s, 290), 3),
                              QPointF(Scaled(s, 290), 3), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(&slider, &press);
        }
        sheet.Add(
            slider.grab(),
            QStringLiteral("pos %1%2").arg(slider.Pos()).arg(slider.Dragging() ? " dragging" : ""));
        sheet.NewRow();
    }
    for (int v : {0, 30000, 65535}) {
        CSkinSliderCtrl volume(
            38101, &host,
            {kPicVolumeTrackLeft, kPicVolumeTrackRight, kPicVolumeThumb, kPicVolumeThumbDrag});
        volume.resize(Scaled(s, 100), Scaled(s, 20));
        volume.SetRange(0, 65535);
        volume.SetPos(v);
        sheet.Add(volume.grab(), QStringLiteral("volume %1").arg(v));
    }

    sheet.Heading(QStringLiteral("progress bar: max = min, 37 %, 100 %"));
    for (int variant = 0; variant < 3; ++variant) {
        CSkinProgressBarCtrl bar(38102, &host);
        bar.resize(Scaled(s, 500), Scaled(s, 22));
        if (variant == 0) bar.SetRange(0, 0);
        bar.SetPos(variant == 0 ? 0 : variant == 1 ? 37 : 100);
        sheet.Add(bar.grab(), bar.Text());
        sheet.NewRow();
    }

    sheet.Heading(QStringLiteral("skinned dialog, list, message boxes, wait dialog"));
    {
        CSkinDialog dlg;
        dlg.setWindowTitle(QStringLiteral("設定"));
        dlg.resize(Scaled(s, 360), Scaled(s, 200));
        new CSkinCheckButton(kPicCheckBox, QStringLiteral("緊急録画停止"), Rect(s, 20, 40, 200, 24),
                             &dlg, 32969);
        auto* on = new CSkinCheckButton(kPicCheckBox, QStringLiteral("駐車監視衝撃"),
                                        Rect(s, 20, 70, 200, 24), &dlg, 32970);
        on->setChecked(true);
        auto* ok = new CSkinButton(kPicTextButton, Rect(s, 240, 155, 100, 30), &dlg, 1);
        ok->setText(QStringLiteral("OK"));
        sheet.Add(dlg.grab(), QStringLiteral("CSkinDialog"));
    }
    {
        CSkinListCtrl list(&host);
        list.resize(Scaled(s, 300), Scaled(s, 130));
        list.setColumnCount(2);
        list.setHorizontalHeaderLabels(
            {QStringLiteral("ファイル名"), QStringLiteral("メインカメラ")});
        list.setRowCount(4);
        for (int row = 0; row < 4; ++row) {
            list.setItem(row, 0, new QTableWidgetItem(QStringLiteral("012_15301%1A").arg(row)));
            list.setItem(row, 1, new QTableWidgetItem(QStringLiteral("%1 MB").arg(120 + row)));
            list.SetStateImage(row, row == 1 ? 2 : row == 2 ? 3 : 1);
        }
        sheet.Add(list.grab(), QStringLiteral("CSkinListCtrl (state images 1, 2, 3, 1)"));
    }
    sheet.NewRow();
    for (int type : {kMbOk, kMbOkCancel, kMbYesNo}) {
        CMsgDlg box(type == kMbYesNo ? QStringLiteral("選択したファイルを削除しますか？")
                                     : QStringLiteral("動画のオープンに失敗しました。"),
                    type == kMbYesNo ? QStringLiteral("確認") : QStringLiteral("ERROR"), type);
        sheet.Add(box.grab(), QStringLiteral("CMsgDlg type %1").arg(type));
    }
    sheet.NewRow();
    {
        CWaitDlg wait(nullptr, {}, 100, false);
        sheet.Add(wait.grab(), QStringLiteral("CWaitDlg marquee"));
        CWaitDlg counted(nullptr, {}, 100, true);
        counted.Progress()->setValue(40);
        counted.TextLabel()->setText(QStringLiteral("変換中..."));
        sheet.Add(counted.grab(), QStringLiteral("CWaitDlg counted"));
    }
    return sheet.Render();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: skin-gallery OUTPUT_DIR\n");
        return 2;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    int failures = 0;
    for (double s : {1.0, 1.5}) {
        SetSkinScale(s, s, 96);
        const QString suffix = s == 1.0 ? QStringLiteral("s1") : QStringLiteral("s1.5");
        for (const auto& [name, image] :
             {std::pair{QStringLiteral("pictures_"), PicturesSheet(s)},
              std::pair{QStringLiteral("controls_"), ControlsSheet(s)}}) {
            const QString path = out + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
            if (!image.save(path)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                ++failures;
            } else {
                std::printf("%s\n", qPrintable(path));
            }
        }
    }
    for (const SkinPictureInfo& info : SkinPictures()) {
        if (!HasSkinPicture(info.id)) {
            std::fprintf(stderr, "missing artwork %d\n", info.id);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
