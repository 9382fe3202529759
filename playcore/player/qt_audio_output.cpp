#include "playcore/player/qt_audio_output.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <vector>

namespace playcore {

namespace {

constexpr int kTickMs = 10;
// Sound the sink holds ahead of what is heard.
constexpr int kSinkBufferMs = 100;
// A device about to play waits this many ticks at most for sound in the ring.
constexpr int kMaxSoundWaitTicks = 50;

// What the sink reads from: the pump, converted to the sink's sample
// format. It always answers with as much as asked (silence where the ring
// has no sound), so the sink never falls idle and never needs waking.
class PumpDevice : public QIODevice {
public:
    PumpDevice(AudioPump* pump, QAudioFormat format) : pump_(pump), format_(format) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return std::numeric_limits<int>::max(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const int bytesPerFrame = format_.bytesPerFrame();
        const qint64 frames = bytesPerFrame > 0 ? maxSize / bytesPerFrame : 0;
        if (frames <= 0) return 0;
        const size_t samples =
            static_cast<size_t>(frames) * static_cast<size_t>(format_.channelCount());
        if (format_.sampleFormat() == QAudioFormat::Float) {
            pump_->Fill(reinterpret_cast<float*>(data), static_cast<size_t>(frames));
        } else {
            floats_.resize(samples);
            pump_->Fill(floats_.data(), static_cast<size_t>(frames));
            auto* out = reinterpret_cast<int16_t*>(data);
            for (size_t i = 0; i < samples; ++i)
                out[i] = static_cast<int16_t>(std::clamp(floats_[i], -1.0f, 1.0f) * 32767.0f);
        }
        return frames * bytesPerFrame;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AudioPump* const pump_;
    const QAudioFormat format_;
    std::vector<float> floats_;
};

} // namespace

// Lives on the output's thread; every member is that thread's except the atomics.
class QtAudioOutput::Worker : public QObject {
public:
    Worker(std::shared_ptr<AudioRing> ring, std::shared_ptr<PresentationClock> clock)
        : pump_(std::move(ring), std::move(clock)) {}
    // The sink goes first: it reads from source_ and pump_.
    ~Worker() override { delete sink_; }

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
        source_ = std::make_unique<PumpDevice>(&pump_, format);
        // Unbuffered: QIODevice's own read-ahead would keep sound from
        // before a flush and hand it to the restarted sink.
        source_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_ = new QAudioSink(device, format, this);
        sink_->setBufferSize(format.bytesForDuration(kSinkBufferMs * 1000));
        sink_->setVolume(volume.load());
        // A start tells whether the device takes the stream; the real start
        // waits for sound (see Tick).
        sink_->start(source_.get());
        const bool ok = sink_->error() == QAudio::NoError;
        sink_->stop();
        pump_.Reset();
        if (!ok) return false;
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_->start(kTickMs);
        return true;
    }

    void Stop() {
        if (timer_) timer_->stop();
        if (sink_) sink_->stop();
    }

    // Set from any thread; the tick applies them.
    std::atomic<bool> playing{false};
    std::atomic<bool> flushWanted{false};
    std::atomic<float> volume{1.0f};
    std::atomic<bool> volumeChanged{false};

private:
    // The sink is started only when there is sound to play: it reads a
    // buffer's worth at once, and that must not be silence read while the
    // decoder was still refilling after a seek. It waits kMaxSoundWaitTicks
    // at most (then plays what there is, silence included).
    void Tick() {
        if (volumeChanged.exchange(false)) sink_->setVolume(volume.load());
        if (flushWanted.exchange(false) && started_) {
            sink_->stop();
            started_ = false;
        }
        if (!playing) {
            if (started_ && sink_->state() != QAudio::SuspendedState) sink_->suspend();
            pump_.TrimToClock();
            return;
        }
        if (!started_) {
            if (!pump_.HasSound() && ++waitedTicks_ < kMaxSoundWaitTicks) return;
            waitedTicks_ = 0;
            pump_.Reset();
            // A stopped sink closes the device it read from.
            if (!source_->isOpen()) source_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
            sink_->start(source_.get());
            started_ = true;
        } else if (sink_->state() == QAudio::SuspendedState) {
            sink_->resume();
        }
        const uint64_t played = static_cast<uint64_t>(static_cast<double>(sink_->processedUSecs()) *
                                                      format_.sampleRate() / 1e6);
        pump_.Played(played);
    }

    AudioPump pump_;
    QAudioFormat format_;
    std::unique_ptr<PumpDevice> source_;
    QAudioSink* sink_ = nullptr; // child of the worker
    QTimer* timer_ = nullptr;    // child of the worker
    bool started_ = false;       // the sink was started since the last flush
    int waitedTicks_ = 0;
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
    worker_->volume = volume;
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
