#include "playcore/player/qt_audio_output.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <vector>

namespace playcore {

namespace {

constexpr int kTickMs = 10;
// Sound the sink holds ahead of what is heard.
constexpr int kSinkBufferMs = 100;

} // namespace

class QtAudioOutput::Worker : public QObject {
public:
    Worker(std::shared_ptr<AudioRing> ring, std::shared_ptr<PresentationClock> clock)
        : pump_(std::move(ring), std::move(clock)) {}

    // Audio thread.
    bool Start(const QAudioDevice& device, int sampleRate, int channels) {
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(format)) {
            format.setSampleFormat(QAudioFormat::Int16);
            if (!device.isFormatSupported(format)) return false;
        }
        format_ = format;
        channels_ = channels;
        sink_ = new QAudioSink(device, format, this);
        sink_->setBufferSize(format.bytesForDuration(kSinkBufferMs * 1000));
        sink_->setVolume(volume_.load());
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError) return false;
        sink_->suspend();
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_->start(kTickMs);
        return true;
    }

    // Audio thread.
    void Stop() {
        if (timer_) timer_->stop();
        if (sink_) sink_->stop();
    }

    // Any thread.
    std::atomic<bool> playing{false};
    std::atomic<bool> flushWanted{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> volumeChanged{false};

private:
    void Tick() {
        if (volumeChanged.exchange(false)) sink_->setVolume(volume_.load());
        if (flushWanted.exchange(false)) {
            // Drop what the sink holds: start it again, empty.
            sink_->stop();
            io_ = sink_->start();
            if (!playing) sink_->suspend();
            pump_.Reset();
        }
        if (!io_) return;
        if (!playing) {
            if (sink_->state() != QAudio::SuspendedState) sink_->suspend();
            pump_.TrimToClock();
            return;
        }
        if (sink_->state() == QAudio::SuspendedState) sink_->resume();
        const int bytesPerFrame = format_.bytesPerFrame();
        if (bytesPerFrame <= 0) return;
        const qsizetype room = sink_->bytesFree() / bytesPerFrame;
        if (room > 0) {
            floats_.resize(static_cast<size_t>(room) * static_cast<size_t>(channels_));
            const size_t frames = pump_.Fill(floats_.data(), static_cast<size_t>(room));
            const size_t samples = frames * static_cast<size_t>(channels_);
            if (frames > 0) {
                if (format_.sampleFormat() == QAudioFormat::Float) {
                    io_->write(reinterpret_cast<const char*>(floats_.data()),
                               static_cast<qint64>(samples * sizeof(float)));
                } else {
                    shorts_.resize(samples);
                    for (size_t i = 0; i < samples; ++i) {
                        const float v = std::clamp(floats_[i], -1.0f, 1.0f);
                        shorts_[i] = static_cast<int16_t>(v * 32767.0f);
                    }
                    io_->write(reinterpret_cast<const char*>(shorts_.data()),
                               static_cast<qint64>(samples * sizeof(int16_t)));
                }
            }
        }
        const qsizetype queued = (sink_->bufferSize() - sink_->bytesFree()) / bytesPerFrame;
        pump_.Report(static_cast<size_t>(std::max<qsizetype>(queued, 0)));
    }

    AudioPump pump_; // audio thread only, like everything below
    QAudioFormat format_;
    int channels_ = 0;
    QAudioSink* sink_ = nullptr;
    QIODevice* io_ = nullptr;
    QTimer* timer_ = nullptr;
    std::vector<float> floats_;
    std::vector<int16_t> shorts_;
};

QtAudioOutput::QtAudioOutput(QAudioDevice device) : device_(std::move(device)) {}

QtAudioOutput::~QtAudioOutput() {
    Close();
}

bool QtAudioOutput::Open(int sampleRate, int channels, std::shared_ptr<AudioRing> ring,
                         std::shared_ptr<PresentationClock> clock) {
    if (device_.isNull() || worker_ || sampleRate <= 0 || channels <= 0) return false;
    thread_.setObjectName("kinetta-audio");
    thread_.start();
    worker_ = new Worker(std::move(ring), std::move(clock));
    worker_->moveToThread(&thread_);
    bool started = false;
    QMetaObject::invokeMethod(
        worker_, [&] { started = worker_->Start(device_, sampleRate, channels); },
        Qt::BlockingQueuedConnection);
    if (!started) Close();
    return started;
}

void QtAudioOutput::Play() {
    if (worker_) worker_->playing = true;
}

void QtAudioOutput::Pause() {
    if (worker_) worker_->playing = false;
}

void QtAudioOutput::Flush() {
    if (worker_) worker_->flushWanted = true;
}

void QtAudioOutput::SetVolume(float volume) {
    if (!worker_) return;
    worker_->volume_ = volume;
    worker_->volumeChanged = true;
}

void QtAudioOutput::Close() {
    if (worker_) {
        Worker* worker = worker_;
        QMetaObject::invokeMethod(
            worker,
            [worker] {
                worker->Stop();
                delete worker;
            },
            Qt::BlockingQueuedConnection);
        worker_ = nullptr;
    }
    if (thread_.isRunning()) {
        thread_.quit();
        thread_.wait();
    }
}

std::function<std::unique_ptr<AudioOutput>()> DefaultAudioOutputFactory() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    return [device] { return std::make_unique<QtAudioOutput>(device); };
}

} // namespace playcore
