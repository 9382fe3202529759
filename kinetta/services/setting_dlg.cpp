#include "kinetta/services/setting_dlg.h"

#include <QGuiApplication>
#include <QScreen>

#include "kinetta/services/link_ctrl.h"
#include "kinetta/services/link_markup.h"
#include "kinetta/services/settings_rules.h"
#include "kinetta/services/update_check.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

QString Utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Design layout (units): the switch column, the groups and the lines below.
constexpr int kMargin = 20;
constexpr int kGroupTop = 40;
constexpr int kSwitchLeft = 40;
constexpr int kSwitchTopInGroup = 30;
constexpr int kSwitchStep = 30;
constexpr int kSwitchWidth = 400;
constexpr int kSwitchHeight = 24;
constexpr int kGroupGap = 16;
constexpr int kLinkHeight = 24;
constexpr int kVersionHeight = 44;

} // namespace

CSettingDlg::CSettingDlg(QWidget* notify, const std::string& viewerPage)
    : CSkinDialog(notify), notify_(notify) {
    setObjectName(QStringLiteral("CSettingDlg"));
    setWindowFlag(Qt::Window, true);
    setModal(false);
    setWindowTitle(Utf8(UiString(kStrSettings))); // "設定"

    eventGroup_ = new QGroupBox(Utf8(UiString(kStrEventDisplayGroup)), this);
    aboutGroup_ = new QGroupBox(Utf8(UiString(kStrViewerAboutGroup)), this);
    for (int i = 0; i < kSettingsSwitchCount; ++i) {
        // Children of the dialog (not of the group) so that their commands reach it.
        switches_[i] =
            new CSkinCheckButton(kPicCheckBox, Utf8(SettingsSwitchText(i)), QRect(0, 0, 1, 1), this,
                                 kSettingsSwitchFirstCommand + i);
        switches_[i]->setChecked(true);
        switches_[i]->hide();
    }
    explanation_ = new QLabel(this);
    explanation_->setWordWrap(true);
    explanation_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    explanation_->setTextFormat(Qt::PlainText);
    // Initialisation sets the first text and the line breaks only; the layout
    // pass sets the whole text.
    explanation_->setText(Utf8(UiString(kStrViewerAboutText)) + QStringLiteral("\n\n"));
    link_ = new CLinkCtrl(kSettingsLinkControl, this);
    const std::string page = EscapeMarkup(viewerPage);
    link_->SetMarkup("<a href=\"" + page + "\">" + page + "</a>");
    version_ = new QLabel(Utf8(SettingsVersionLine()), this);
    version_->setObjectName(QString::number(kSettingsVersionControl));
    version_->setTextFormat(Qt::PlainText);
    for (QWidget* w : {static_cast<QWidget*>(eventGroup_), static_cast<QWidget*>(aboutGroup_),
                       static_cast<QWidget*>(explanation_), static_cast<QWidget*>(version_)}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::WindowText, kSkinTextColor);
        w->setPalette(pal);
    }
    QPalette linkPal = link_->palette();
    linkPal.setColor(QPalette::WindowText, kSkinTextColor);
    linkPal.setColor(QPalette::Link, kSkinAccentColor);
    link_->setPalette(linkPal);
    eventGroup_->lower();
    aboutGroup_->lower();
    hide();
}

CSkinCheckButton* CSettingDlg::Switch(int index) const {
    return index >= 0 && index < kSettingsSwitchCount ? switches_[index] : nullptr;
}

bool CSettingDlg::SwitchState(int index) const {
    return index >= 0 && index < kSettingsSwitchCount && states_[index];
}

void CSettingDlg::OnCommand(int id) {
    const int index = id - kSettingsSwitchFirstCommand;
    if (index >= 0 && index < kSettingsSwitchCount) {
        // The click has toggled the button; the dialog's own state follows it.
        states_[index] = !states_[index];
        switches_[index]->setChecked(states_[index]);
        switches_[index]->update();
        PostWindowMessage(notify_, UM_SETTINGS_NOTIFY, static_cast<std::uintptr_t>(index),
                          states_[index] ? 1 : 0);
        return;
    }
    if (id == 1 || id == 2 || id == kSkinCloseButtonId) {
        hide();
        return;
    }
}

void CSettingDlg::LayOutFor(RecorderFamily family, const QPoint& anchor) {
    const double s = SkinScale();
    const bool tx40 = family == RecorderFamily::TX40;
    SetDesignSize(QSize(Scaled(s, 720), Scaled(s, tx40 ? 480 : 520)));
    resize(DesignSize());
    CSkinDialog::Rescale();
    if (QScreen* screen = QGuiApplication::screenAt(anchor) ? QGuiApplication::screenAt(anchor)
                                                            : QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));

    const QFont& font = SharedFont(kFont10);
    for (QWidget* w : {static_cast<QWidget*>(eventGroup_), static_cast<QWidget*>(aboutGroup_),
                       static_cast<QWidget*>(explanation_), static_cast<QWidget*>(link_),
                       static_cast<QWidget*>(version_)})
        w->setFont(font);
    explanation_->setFont(SharedFont(kFont9)); // seven lines in the family's height

    // The switch column: the family's switches one below the other.
    int row = 0;
    for (int i = 0; i < kSettingsSwitchCount; ++i) {
        CSkinCheckButton* b = switches_[i];
        if (!SettingsSwitchShown(family, i)) {
            b->hide();
            continue;
        }
        b->setGeometry(Scaled(s, kSwitchLeft),
                       Scaled(s, kGroupTop + kSwitchTopInGroup + row * kSwitchStep),
                       Scaled(s, kSwitchWidth), Scaled(s, kSwitchHeight));
        b->Rescale();
        b->show();
        ++row;
    }
    const int groupBottom = kGroupTop + kSwitchTopInGroup + row * kSwitchStep + 10;
    const int width = 720 - 2 * kMargin;
    eventGroup_->setGeometry(Scaled(s, kMargin), Scaled(s, kGroupTop), Scaled(s, width),
                             Scaled(s, groupBottom - kGroupTop));

    const int aboutTop = groupBottom + kGroupGap;
    const int aboutBottom = (tx40 ? 480 : 520) - kMargin;
    aboutGroup_->setGeometry(Scaled(s, kMargin), Scaled(s, aboutTop), Scaled(s, width),
                             Scaled(s, aboutBottom - aboutTop));
    const int inner = kMargin + 20;
    const int innerWidth = width - 40;
    const int versionTop = aboutBottom - 10 - kVersionHeight;
    const int linkTop = versionTop - 6 - kLinkHeight;
    const int textTop = aboutTop + 26;
    explanation_->setGeometry(Scaled(s, inner), Scaled(s, textTop), Scaled(s, innerWidth),
                              Scaled(s, std::max(0, linkTop - 6 - textTop)));
    explanation_->setText(Utf8(SettingsExplanationText()));
    link_->setGeometry(Scaled(s, inner), Scaled(s, linkTop), Scaled(s, innerWidth),
                       Scaled(s, kLinkHeight));
    version_->setGeometry(Scaled(s, inner), Scaled(s, versionTop), Scaled(s, innerWidth),
                          Scaled(s, kVersionHeight));
}

} // namespace kinetta
