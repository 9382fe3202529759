#include "kinetta/skin/wait_dlg.h"
#include "kinetta/base/ui_text.h"

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
    text_->setTextFormat(Qt::PlainText); // the flows put file names here
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
    job_.Join();
}

void CWaitDlg::Start() {
    if (job_.Busy()) return;
    JobControl::Sinks sinks;
    // The dialog exists until the worker is joined, so the queued calls reach
    // it (or are dropped with it).
    sinks.progress = [this](int done, int) {
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                if (counted_) progress_->setValue(done);
            },
            Qt::QueuedConnection);
    };
    sinks.ended = [this](std::uint32_t) {
        QMetaObject::invokeMethod(
            this, [this] { Finished(); }, Qt::QueuedConnection);
    };
    job_.SetSinks(std::move(sinks));
    job_.Start([this](JobControl& job) -> std::uint32_t {
        if (task_) task_(*this);
        if (job.Running()) {
            job.Progress(count_, count_);
            job.SetCompleted();
        }
        return 0;
    });
}

void CWaitDlg::Finished() {
    job_.Join();
    result_ = job_.TakeOutcome().cancelled ? 2 : 1;
    done(result_);
}

void CWaitDlg::SetProgress(int value) {
    job_.Progress(value, count_);
}

void CWaitDlg::reject() {
    job_.Cancel();
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
