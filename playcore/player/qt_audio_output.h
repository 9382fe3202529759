#pragma once
// QtAudioOutput: the player's sound on Qt Multimedia's QAudioSink (PulseAudio
// or PipeWire on the desktop). The sink lives on the output's own thread
// with an event loop; a 10 ms tick there moves sound from the AudioRing into
// the sink and reports the heard time to the clock (AudioPump).
//
// Open fails when the device is null (no audio device: a headless machine)
// or takes neither float nor 16-bit samples at the stream's rate and
// channels; the session then plays without sound.
//
// Control calls (Play, Pause, Flush, SetVolume) may come from any thread and
// never wait for the audio thread; Open and Close wait for it.

#include <QAudioDevice>
#include <QThread>

#include <memory>

#include "playcore/player/audio_output.h"

namespace playcore {

class QtAudioOutput : public AudioOutput {
public:
    // `device`: the output to play on, chosen on the UI thread
    // (QMediaDevices::defaultAudioOutput()); a null device has no sound.
    explicit QtAudioOutput(QAudioDevice device);
    ~QtAudioOutput() override;

    bool Open(int sampleRate, int channels, std::shared_ptr<AudioRing> ring,
              std::shared_ptr<PresentationClock> clock) override;
    void Play() override;
    void Pause() override;
    void Flush() override;
    void SetVolume(float volume) override;
    void Close() override;

    class Worker; // lives on thread_

private:
    const QAudioDevice device_;
    QThread thread_;
    Worker* worker_ = nullptr; // created by Open on thread_, deleted there by Close
};

// The default audio output of the machine as a factory for the session; on
// the UI thread (it looks the device up now).
std::function<std::unique_ptr<AudioOutput>()> DefaultAudioOutputFactory();

} // namespace playcore
