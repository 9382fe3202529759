#include "kinetta/base/ui_text.h"
#include "kinetta/skin/wait_dlg.h"

#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"

namespace kinetta {

namespace {
constexpr int kProgressId = 38400;
constexpr int kTextId = 38401;
constexpr int kCancelId = 2;

} // namespace

CWaitDlg::CWaitDlg(QWidget* owner, Task task, int count, bool counted)
    : QDialog(owner), task_(std::move(task)), count_(count), counted_(counted) {
    setModal(true);
    const double s = SkinScale();

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QString::number(kProgressId));
    progress_->setTextVisible(false);
    text_ = new QLabel(this);
    text_->setObjectName(QString::number(kTextId));
    text_->setFont(SharedFont(kFont10));
    text_->setAlignment(Qt::AlignCenter);
    cancel_ = new QPushButton(Text(kStrCancel), this);
    cancel_->setObjectName(QString::number(kCancelId));
    cancel_->setFont(SharedFont(kFont10));
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Scaled(s, 20), Scaled(s, 20), Scaled(s, 20), Scaled(s, 20));
    layout->setSpacing(Scaled(s, 12));
    layout->addStretch(1);
    layout->addWidget(text_);
    layout->addWidget(progress_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    layout->addStretch(1);

    if (counted_) {
        progress_->setRange(0, std::max(count_, 1));
        progress_->setValue(0);
        resize(Scaled(s, 400), Scaled(s, 160));
    } else {
        // Captionless with a sizing border, at its fixed place, with a marquee.
        setWindowFlag(Qt::FramelessWindowHint);
        setSizeGripEnabled(true);
        setStyleSheet(QStringLiteral("CWaitDlg, QDialog { border: 1px solid #8f8f8f; }"));
        const PixelRect r = WaitDialogMarqueeRect(s);
        setGeometry(r.left, r.top, r.Width(), r.Height());
        cancel_->hide();
        text_->setText(Text(kStrPleaseWait));
        progress_->setRange(0, 0); // a range of 0..0 runs the control as a marquee
    }
}

CWaitDlg::~CWaitDlg() {
    if (worker_.joinable()) worker_.join();
}

void CWaitDlg::Start() {
    if (worker_.joinable()) return;
    worker_ = std::thread([this] {
        if (task_) task_(*this);
        // The dialog exists until this thread is joined, so the queued calls
        // below reach it (or are dropped with it).
        if (!Cancelled()) SetProgress(count_);
        QMetaObject::invokeMethod(
            this, [this] { Finished(); }, Qt::QueuedConnection);
    });
}

void CWaitDlg::Finished() {
    done(Cancelled() ? 2 : 1);
}

void CWaitDlg::SetProgress(int value) {
    QMetaObject::invokeMethod(
        this,
        [this, value] {
            if (counted_) progress_->setValue(value);
        },
        Qt::QueuedConnection);
}

void CWaitDlg::reject() {
    cancelled_.store(true);
}

int CWaitDlg::Exec() {
    Start();
    return exec();
}

int CWaitDlg::Run(QWidget* owner, Task task, int count, bool counted) {
    CWaitDlg dlg(owner, std::move(task), count, counted);
    return dlg.Exec();
}

} // namespace kinetta
