#include "kinetta/convert/convert_dlg.h"

#include <unistd.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/convert/upload_convert.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/wait_dlg.h"
#include "platform/files.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/convert/video_encoder.h"
#include "util/text.h"

namespace kinetta {

namespace {

QString Text(int id) {
    const std::string_view s = UiString(id);
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Design layout (units of S).
constexpr int kDialogWidth = 1009, kDialogHeight = 600;
constexpr QRect kPreviewRect(4, 20, 1000, 500);
constexpr QRect kUndoRect(460, 550, 100, 30);
constexpr QRect kDeleteAllRect(600, 550, 100, 30);
constexpr QRect kCancelRect(740, 550, 100, 30);
constexpr QRect kConfirmRect(880, 550, 100, 30);
constexpr QRect kRemoveAudioRect(44, 560, 240, 40);
constexpr QRect kEncoderRect(44, 524, 920, 22);

// How the dialog names an encoder, and the same with its kind.
QString EncoderName(playcore::ConvertEncoder e) {
    switch (e) {
    case playcore::ConvertEncoder::Vaapi:
        return QStringLiteral("VA-API");
    case playcore::ConvertEncoder::Nvenc:
        return QStringLiteral("NVENC");
    case playcore::ConvertEncoder::X264:
    case playcore::ConvertEncoder::Auto:
        break;
    }
    return QStringLiteral("x264");
}
QString EncoderText(playcore::ConvertEncoder e) {
    const bool software =
        e == playcore::ConvertEncoder::X264 || e == playcore::ConvertEncoder::Auto;
    return Text(software ? kStrConvertEncoderSoftware : kStrConvertEncoderHardware)
        .arg(EncoderName(e));
}

QRect ScaledRect(double s, const QRect& r) {
    return QRect(Scaled(s, r.x()), Scaled(s, r.y()), Scaled(s, r.width()), Scaled(s, r.height()));
}

} // namespace

// ---- CConvertMovieStatic -------------------------------------------------------

CConvertMovieStatic::CConvertMovieStatic(playcore::MaskEditor* masks, QWidget* parent)
    : QWidget(parent), masks_(masks) {
    setObjectName(QStringLiteral("CConvertMovieStatic"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CConvertMovieStatic::SetDrawSize(QSize size) {
    drawWidth_.store(std::max(1, size.width()));
    drawHeight_.store(std::max(1, size.height()));
}

void CConvertMovieStatic::TargetSize(int* width, int* height) {
    *width = drawWidth_.load();
    *height = drawHeight_.load();
}

void CConvertMovieStatic::Present(const uint8_t* bgra, int width, int height, int stride) {
    QImage copy = QImage(bgra, width, height, stride, QImage::Format_RGB32).copy();
    {
        std::lock_guard<std::mutex> hold(pictureLock_);
        picture_ = std::move(copy);
    }
    presented_.fetch_add(1);
    // Repaint on the UI thread; dropped by Qt if the control is gone.
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

QImage CConvertMovieStatic::LatestPicture() const {
    std::lock_guard<std::mutex> hold(pictureLock_);
    return picture_;
}

void CConvertMovieStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage picture = LatestPicture();
    if (picture.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), picture);
}

void CConvertMovieStatic::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // The widget keeps the mouse while the button is held (Qt's implicit grab).
    drawing_ = true;
    const QPoint p = event->position().toPoint();
    masks_->Edit(playcore::MaskEditor::kPress, p.x(), p.y());
}

void CConvertMovieStatic::mouseMoveEvent(QMouseEvent* event) {
    if (!drawing_) return;
    const QPoint p = event->position().toPoint();
    masks_->Edit(playcore::MaskEditor::kMove, p.x(), p.y());
}

void CConvertMovieStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !drawing_) return;
    drawing_ = false;
    const QPoint p = event->position().toPoint();
    const int x = std::clamp(p.x(), 0, std::max(0, width() - 1));
    const int y = std::clamp(p.y(), 0, std::max(0, height() - 1));
    masks_->Edit(playcore::MaskEditor::kRelease, x, y);
    PostWindowMessage(parentWidget(), UM_CONVERT_MASK_RELEASED);
}

// ---- CConvertDlg ---------------------------------------------------------------

CConvertDlg::CConvertDlg(QWidget* owner, const ConvertDialogInput& input)
    : CSkinDialog(owner), input_(input),
      editor_(playcore::MaskEditor::ScaleFor(SkinScale(), playcore::kConvertWidth)) {
    setObjectName(QStringLiteral("CConvertDlg"));
    setWindowTitle(Text(kStrMaskCaption)); // "表示マスク領域の選択"
    setModal(true);
    preview_ = new CConvertMovieStatic(&editor_, this);
    undo_ = new CSkinButton(kPicTextButton, QRect(0, 0, 100, 30), this, kConvertUndoButton);
    undo_->setText(Text(kStrUndoOne));
    deleteAll_ =
        new CSkinButton(kPicTextButton, QRect(0, 0, 100, 30), this, kConvertDeleteAllButton);
    deleteAll_->setText(Text(kStrDeleteAll));
    cancel_ = new CSkinButton(kPicTextButton, QRect(0, 0, 100, 30), this, 2);
    cancel_->setText(Text(kStrCancel));
    confirm_ = new CSkinButton(kPicTextButton, QRect(0, 0, 100, 30), this, 1);
    confirm_->setText(Text(kStrOk));
    removeAudio_ = new CSkinCheckButton(kPicCheckBox, Text(kStrRemoveAudio), QRect(0, 0, 240, 40),
                                        this, kConvertRemoveAudioCheck);
    removeAudio_->setCheckable(true);
    encoderLabel_ = new QLabel(this);
    encoderLabel_->setObjectName(QStringLiteral("ConvertEncoder"));
    encoderLabel_->setTextFormat(Qt::PlainText);
    encoderLabel_->setFont(SharedFont(kFont10));
    ShowEncoder();
    LayOut();
    RefreshMaskState();
}

CConvertDlg::~CConvertDlg() {
    StopPreview();
}

void CConvertDlg::LayOut() {
    const double s = SkinScale();
    SetDesignSize(QSize(Scaled(s, kDialogWidth), Scaled(s, kDialogHeight)));
    resize(DesignSize());
    CSkinDialog::Rescale();
    if (QWidget* owner = parentWidget()) {
        const QPoint centre = owner->mapToGlobal(owner->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    preview_->setGeometry(ScaledRect(s, kPreviewRect));
    preview_->SetDrawSize(preview_->size());
    undo_->SetPicture(kPicTextButton, ScaledRect(s, kUndoRect));
    deleteAll_->SetPicture(kPicTextButton, ScaledRect(s, kDeleteAllRect));
    cancel_->SetPicture(kPicTextButton, ScaledRect(s, kCancelRect));
    confirm_->SetPicture(kPicTextButton, ScaledRect(s, kConfirmRect));
    removeAudio_->setGeometry(ScaledRect(s, kRemoveAudioRect));
    removeAudio_->Rescale();
    encoderLabel_->setGeometry(ScaledRect(s, kEncoderRect));
}

void CConvertDlg::ShowEncoder() {
    // The encoder is opened once here as the conversion will open it, so
    // that the dialog names the one that will write the file.
    const playcore::ConvertEncoder wanted = ConvertEncoderSetting();
    playcore::ConvertEncoder used = playcore::ConvertEncoder::X264;
    std::string why;
    encoderMissing_ = !playcore::ProbeVideoEncoder(wanted, &used, &why);
    if (encoderMissing_) {
        encoderLabel_->setText(Text(kStrConvertEncoderMissing).arg(EncoderName(wanted)));
        QPalette warning = encoderLabel_->palette();
        warning.setColor(QPalette::WindowText, QColor(255, 80, 80));
        encoderLabel_->setPalette(warning);
        confirm_->setEnabled(false);
        return;
    }
    QString text = Text(kStrConvertEncoder).arg(EncoderText(used));
    if (!ConvertSphericalSetting()) text += QStringLiteral("　") + Text(kStrConvertPlainFile);
    encoderLabel_->setText(text);
}

bool CConvertDlg::PrepareSource() {
    previewSource_ = input_.source;
    if (!IsCombinedName(std::string(kutil::FileNameOf(input_.source)))) return true;
    const std::string folder = Settings().Directory();
    const std::string front = (folder.empty() ? std::string(".") : folder) + "/_temp_out_M.mp4";
    const std::string rear = (folder.empty() ? std::string(".") : folder) + "/_temp_out_R.mp4";
    bool ok = false;
    const std::string source = input_.source;
    const int answer = CWaitDlg::Run(
        this,
        [&](CWaitDlg& wait) {
            std::unique_ptr<playcore::sMP4MOVIE> movie =
                playcore::OpenMp4Movie(source, true, CurrentFamily());
            wait.SetProgress(30);
            ok = movie && playcore::SeparateTracks(*movie, front, rear, wait.Job().RunningFlag()) &&
                 platform::IsRegularFile(front);
            wait.SetProgress(100);
        },
        100, true);
    // The split files are the preview thread's to remove, or removed here
    // when there will be none.
    splitFront_ = front;
    splitRear_ = rear;
    if (answer != 1 || !ok) {
        ::unlink(front.c_str());
        ::unlink(rear.c_str());
        splitFront_.clear();
        splitRear_.clear();
        return false;
    }
    previewSource_ = front;
    return true;
}

int CConvertDlg::Exec() {
    if (!PrepareSource()) return 2;
    running_.store(true);
    previewThread_ = std::thread(&CConvertDlg::PreviewLoop, this);
    const int result = exec();
    StopPreview();
    return result == 0 ? 0 : 2;
}

void CConvertDlg::PreviewLoop() {
    // Runs the preview source through the conversion without writing, as
    // fast as frames can be decoded and drawn, again and again until the
    // dialog closes.
    while (!closing_.load()) {
        playcore::CMovieCapture capture;
        playcore::CMovieCapture::Params p;
        p.source = previewSource_;
        p.settings.flip = input_.flip;
        p.totalFrames = input_.totalFrames;
        p.masks = &editor_;
        p.target = preview_;
        p.running = &running_;
        if (capture.Run(std::move(p)) == playcore::kConvertFailed) break;
        if (capture.FrameCounter() == 0) break; // nothing to show: do not spin
    }
    if (!splitFront_.empty()) ::unlink(splitFront_.c_str());
    if (!splitRear_.empty()) ::unlink(splitRear_.c_str());
}

void CConvertDlg::StopPreview() {
    if (stopped_) return;
    stopped_ = true;
    closing_.store(true);
    running_.store(false);
    if (previewThread_.joinable()) previewThread_.join();
    masks_ = editor_.Masks();
    silence_ = removeAudio_->isChecked();
}

void CConvertDlg::RefreshMaskState() {
    const bool any = !editor_.Masks().empty();
    undo_->setEnabled(any);
    deleteAll_->setEnabled(any);
}

void CConvertDlg::OnCommand(int id) {
    switch (id) {
    case kConvertUndoButton:
        editor_.Edit(playcore::MaskEditor::kUndo, 0, 0);
        RefreshMaskState();
        return;
    case kConvertDeleteAllButton:
        editor_.Edit(playcore::MaskEditor::kDeleteAll, 0, 0);
        RefreshMaskState();
        return;
    case kConvertRemoveAudioCheck:
        return; // the check button keeps its own state
    case 1:
        if (encoderMissing_) return; // nothing can be converted
        done(0);
        return;
    case 2:
    case kSkinCloseButtonId:
        done(2);
        return;
    default:
        return;
    }
}

void CConvertDlg::accept() {
    if (encoderMissing_) return;
    done(0);
}

void CConvertDlg::reject() {
    done(2); // Escape and the close button: cancel
}

void CConvertDlg::done(int result) {
    StopPreview();
    CSkinDialog::done(result);
}

bool CConvertDlg::event(QEvent* e) {
    if (const WindowMessage* m = AsWindowMessage(e)) {
        if (m->Message() == UM_CONVERT_MASK_RELEASED) {
            RefreshMaskState();
            return true;
        }
    }
    return CSkinDialog::event(e);
}

int RunConvertDialog(QWidget* owner, const ConvertDialogInput& input,
                     playcore::ConvertSettings* settings) {
    CConvertDlg dialog(owner, input);
    const int result = dialog.Exec();
    if (result == 0 && settings) {
        settings->masks = dialog.Masks();
        settings->silenceAudio = dialog.SilenceAudio();
    }
    return result;
}

} // namespace kinetta
