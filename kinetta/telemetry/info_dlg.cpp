#include "kinetta/telemetry/info_dlg.h"

#include <QPainter>

#include <cmath>
#include <map>
#include <tuple>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

using playcore::RecorderFamily;

PanelTexts ComposePanelTexts(const PanelState& s, RecorderFamily family) {
    PanelTexts t;
    t.dateTime = PanelDateTimeText(s);
    switch (PanelSpeedShown(s)) {
    case SpeedShown::Value:
        t.speed = SpeedValueText(s.speed);
        t.speedUnitShown = s.flagA != 0;
        break;
    case SpeedShown::Off:
        t.speed = kOffText;
        break;
    case SpeedShown::Placeholder:
        t.speedPlaceholder = true;
        break;
    }
    t.gpsOff = GpsOffShown(s);
    t.g = {AccelText(s.gx), AccelText(s.gy), AccelText(s.gz)};
    t.voltageShown = VoltageShown(s, family);
    if (t.voltageShown) t.voltage = VoltageText(s.voltageTenths);
    if (s.resolutionIcon >= 1 && s.resolutionIcon <= 6)
        t.resolutionPicture = kPicResolutionFirst + s.resolutionIcon - 1;
    switch (CameraIconFor(s.cameraLetter)) {
    case CameraIcon::FamilyRear:
        t.cameraPicture = family == RecorderFamily::TX50 ? kPicCameraRearTx50 : kPicCameraRearTx40;
        break;
    case CameraIcon::Rear:
        t.cameraPicture = kPicCameraRear;
        break;
    case CameraIcon::Default:
        t.cameraPicture = kPicCameraDefault;
        break;
    }
    t.gpsIcon = s.gpsValid == 1;
    return t;
}

namespace {

// Axis label texts and colours: front-back, left-right, up-down.
const char* const kAxisLabels[3] = {"前後", "左右", "上下"};
const QColor kAxisColours[3] = {QColor(0, 255, 0), QColor(255, 0, 0), QColor(128, 128, 255)};

// Design positions of the panel's fields (units; x panel scale x S).
struct Place {
    double x, y, w, h;
};
constexpr Place kDateTime{12, 8, 230, 34};
constexpr Place kResolution{250, 17, 40, 16};
constexpr Place kCamera{296, 17, 32, 16};
constexpr Place kGps{334, 17, 36, 16};
constexpr Place kGpsOff{372, 14, 26, 22};
constexpr Place kSpeedValue{405, 8, 112, 40};
constexpr Place kSpeedPlaceholder{427, 14, 90, 30};
constexpr Place kSpeedUnitPlace{517, 22, 46, 22};
constexpr double kAxisColumn0 = 15, kAxisColumnStep = 130, kAxisButtonTop = 60;
constexpr double kAxisTextX = 60, kAxisLabelTop = 56, kAxisValueTop = 80;
constexpr Place kVoltage{420, 58, 60, 24}; // the number, right-aligned; "V" 18 units on
constexpr Place kSpeedText{408, 92, 156, 22};

QRect At(const Place& p, double k) {
    return QRect(static_cast<int>(std::trunc(p.x * k)), static_cast<int>(std::trunc(p.y * k)),
                 static_cast<int>(std::trunc(p.w * k)), static_cast<int>(std::trunc(p.h * k)));
}

// Skin pictures rendered once per size (UI thread; the panel repaints every
// 100 ms during playback).
const QImage& Rendered(int id, QSize size) {
    static std::map<std::tuple<int, int, int>, QImage> cache;
    QImage& img = cache[{id, size.width(), size.height()}];
    if (img.isNull()) img = RenderSkinImage(id, size);
    return img;
}

void DrawPicture(QPainter& p, int id, const QRect& r) {
    if (id <= 0 || r.isEmpty()) return;
    p.drawImage(r.topLeft(), Rendered(id, r.size()));
}

} // namespace

void CInfoDlg::Draw(QImage* image, QSize size, const PanelState& state, RecorderFamily family,
                    const QString& speedText, double s, double panelScale,
                    const std::array<bool, 3>* axisButtons) {
    if (image->size() != size || image->format() != QImage::Format_RGB32)
        *image = QImage(size, QImage::Format_RGB32);
    if (size.isEmpty()) return;
    image->fill(QColor(0x22, 0x22, 0x22));
    QPainter p(image);
    p.drawImage(QPoint(0, 0), Rendered(kPicInfoBackground, size));
    const double k = s * panelScale;
    const PanelTexts t = ComposePanelTexts(state, family);
    p.setPen(Qt::white);

    p.setFont(SharedFont(kFont17));
    p.drawText(At(kDateTime, k), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(t.dateTime));

    DrawPicture(p, t.resolutionPicture, At(kResolution, k));
    DrawPicture(p, t.cameraPicture, At(kCamera, k));
    if (t.gpsIcon) DrawPicture(p, kPicGps, At(kGps, k));
    p.setFont(SharedFont(kFont10));
    if (t.gpsOff) p.drawText(At(kGpsOff, k), Qt::AlignLeft | Qt::AlignVCenter, kOffText);

    if (t.speedPlaceholder) {
        DrawPicture(p, kPicSpeedPlaceholder, At(kSpeedPlaceholder, k));
    } else {
        p.setFont(SharedFont(kFont22));
        p.drawText(At(kSpeedValue, k), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromStdString(t.speed));
    }
    p.setFont(SharedFont(kFont10));
    if (t.speedUnitShown)
        p.drawText(At(kSpeedUnitPlace, k), Qt::AlignRight | Qt::AlignVCenter, kSpeedUnit);

    for (int a = 0; a < 3; ++a) {
        const double x = kAxisColumn0 + kAxisColumnStep * a + kAxisTextX - kAxisColumn0;
        p.setPen(kAxisColours[a]);
        p.setFont(SharedFont(kFont10));
        p.drawText(At({x, kAxisLabelTop, 70, 22}, k), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(kAxisLabels[a]));
        const std::string& g = t.g[static_cast<size_t>(a)];
        if (g.empty()) {
            DrawPicture(p, kPicAccelPlaceholder, At({x, kAxisValueTop + 2, 70, 20}, k));
        } else {
            p.setFont(SharedFont(kFont15));
            p.drawText(At({x, kAxisValueTop, 70, 24}, k), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromStdString(g));
        }
    }

    p.setPen(Qt::white);
    if (t.voltageShown) {
        p.setFont(SharedFont(kFont15));
        if (t.voltage.empty()) {
            DrawPicture(p, kPicVoltagePlaceholder,
                        At({kVoltage.x + 19, kVoltage.y + 2, 40, 20}, k));
        } else {
            p.drawText(At(kVoltage, k), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromStdString(t.voltage));
        }
        p.drawText(At({kVoltage.x + 18, kVoltage.y, kVoltage.w, kVoltage.h}, k),
                   Qt::AlignRight | Qt::AlignVCenter, "V");
    }

    p.setFont(SharedFont(kFont10));
    p.drawText(At(kSpeedText, k), Qt::AlignLeft | Qt::AlignVCenter, speedText);

    if (axisButtons) {
        static constexpr int kPictures[3] = {kPicAxisX, kPicAxisY, kPicAxisZ};
        for (int a = 0; a < 3; ++a) {
            const QRect r = At({kAxisColumn0 + kAxisColumnStep * a, kAxisButtonTop, 40, 20}, k);
            if (r.isEmpty()) continue;
            // Frame 2 (on) or 0 (off) of the four-frame strip.
            const QImage& strip = Rendered(kPictures[a], QSize(r.width() * 4, r.height()));
            const int frame = (*axisButtons)[static_cast<size_t>(a)] ? 2 : 0;
            p.drawImage(r.topLeft(), strip, QRect(frame * r.width(), 0, r.width(), r.height()));
        }
    }
}

CInfoDlg::CInfoDlg(RecorderFamily family, QWidget* parent) : QWidget(parent), family_(family) {
    setObjectName("InfoDlg");
    setAttribute(Qt::WA_OpaquePaintEvent);
    static constexpr int kPictures[3] = {kPicAxisX, kPicAxisY, kPicAxisZ};
    for (int a = 0; a < 3; ++a) {
        auto* b = new CSkinButton(kPictures[a], QRect(0, 0, 40, 20), this, kAxisButtonFirst + a);
        b->setObjectName(QString("AxisButton%1").arg(a));
        b->SetPressedLook(true);
        buttons_[static_cast<size_t>(a)] = b;
    }
    PlaceButtons();
}

void CInfoDlg::PlaceButtons() {
    static constexpr int kPictures[3] = {kPicAxisX, kPicAxisY, kPicAxisZ};
    const double k = scale_ * panelScale_;
    for (int a = 0; a < 3; ++a) {
        const QRect r = At({kAxisColumn0 + kAxisColumnStep * a, kAxisButtonTop, 40, 20}, k);
        buttons_[static_cast<size_t>(a)]->SetPicture(kPictures[a], r);
    }
}

void CInfoDlg::Reset() {
    state_.Reset();
    repaint();
}

void CInfoDlg::SetSpeedText(const QString& text) {
    speedText_ = text;
    update();
}

void CInfoDlg::SetPanelScale(double scale) {
    panelScale_ = scale;
    PlaceButtons();
    update();
}

void CInfoDlg::SetScale(double s) {
    scale_ = s;
    PlaceButtons();
    update();
}

void CInfoDlg::SetAxisStates(const std::array<bool, 3>& on) {
    axisOn_ = on;
    for (size_t a = 0; a < 3; ++a) {
        buttons_[a]->SetPressedLook(on[a]);
        buttons_[a]->update();
    }
}

void CInfoDlg::OnCommand(int id) {
    const int axis = id - kAxisButtonFirst;
    if (axis < 0 || axis > 2) return;
    bool& on = axisOn_[static_cast<size_t>(axis)];
    on = !on;
    buttons_[static_cast<size_t>(axis)]->SetPressedLook(on);
    buttons_[static_cast<size_t>(axis)]->update();
    PostWindowMessage(parentWidget(), UM_ICON_FILTER, static_cast<std::uintptr_t>(axis),
                      on ? 1 : 0);
}

void CInfoDlg::paintEvent(QPaintEvent*) {
    Draw(&picture_, size(), state_, family_, speedText_, scale_, panelScale_);
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

} // namespace kinetta
