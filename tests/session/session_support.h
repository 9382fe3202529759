#pragma once
// Support for the session tests: recordings made with mkcard at test time
// (once per test binary), a message sink that records the players' posts,
// and a rig holding one PlaybackSession with its two engines.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "playcore/session/playback_session.h"
#include "support/temp_dir.h"
#include "tools/mkcard/recording.h"

namespace stest {

enum class Kind {
    Front8,     // front camera, 8 s at 29.1 frames per second
    Rear45,     // rear camera, 4.5 s: more than 80 frames shorter than Front8
    Rear6,      // rear camera, 6 s: within 80 frames of Front8
    Rear27,     // rear camera, 8 s at 27.5 frames per second (36 ms frames)
    TooShort30, // 2.0 s at 30 frames per second
    Lapse18,    // 1.8 s of 66 ms frames (15 per second)
    Lapse14,    // 1.4 s of 66 ms frames
    Combined,   // both cameras in one file, 4 s (rear 256 x 144)
    Unfinished, // ftyp and mdat only, as the recorder leaves an interrupted file
    Tx50Front,  // a TX50-family front recording, 3 s
    Silent,     // front camera without a sound track, 3 s: the boxes give no timing
};

struct Sample {
    std::string path;
    int frames = 0;
    size_t records = 0; // GPS records of its block
};

class SampleEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        std::lock_guard lock(mutex);
        made.clear();
        dir.reset();
    }
    static inline std::mutex mutex;
    static inline std::unique_ptr<ktest::TempDir> dir; // guarded by mutex
    static inline std::map<Kind, Sample> made;         // guarded by mutex
};
inline const auto* const kSampleEnvironment =
    ::testing::AddGlobalTestEnvironment(new SampleEnvironment);

inline const Sample& GetSample(Kind kind) {
    std::lock_guard lock(SampleEnvironment::mutex);
    auto& made = SampleEnvironment::made;
    if (!SampleEnvironment::dir) SampleEnvironment::dir = std::make_unique<ktest::TempDir>();
    av_log_set_level(AV_LOG_ERROR);
    auto it = made.find(kind);
    if (it != made.end()) return it->second;

    mkcard::RecordingSpec r;
    r.gop = 15;
    std::string name;
    switch (kind) {
    case Kind::Front8:
        r.durationSeconds = 8;
        name = "front8_F.MP4";
        break;
    case Kind::Rear45:
        r.content = mkcard::FileContent::Rear;
        r.durationSeconds = 4.5;
        name = "rear45_R.MP4";
        break;
    case Kind::Rear6:
        r.content = mkcard::FileContent::Rear;
        r.durationSeconds = 6;
        name = "rear6_R.MP4";
        break;
    case Kind::Rear27:
        r.content = mkcard::FileContent::Rear;
        r.durationSeconds = 8;
        r.frameUs = mkcard::kFrameUs27_5;
        name = "rear27_R.MP4";
        break;
    case Kind::TooShort30:
        r.durationSeconds = 2.0;
        r.frameUs = 33333;
        name = "short30_F.MP4";
        break;
    case Kind::Lapse18:
        r.durationSeconds = 1.8;
        r.frameUs = mkcard::kFrameUsTimeLapse;
        name = "lapse18_F.MP4";
        break;
    case Kind::Lapse14:
        r.durationSeconds = 1.4;
        r.frameUs = mkcard::kFrameUsTimeLapse;
        name = "lapse14_F.MP4";
        break;
    case Kind::Combined:
        r.content = mkcard::FileContent::Combined;
        r.durationSeconds = 4;
        r.rearWidth = 256;
        r.rearHeight = 144;
        name = "combined.MP4";
        break;
    case Kind::Unfinished:
        r.durationSeconds = 3;
        r.unfinished = true;
        name = "unfinished_F.MP4";
        break;
    case Kind::Silent:
        r.durationSeconds = 3;
        r.audio = false;
        name = "silent_F.MP4";
        break;
    case Kind::Tx50Front:
        r.family = playcore::RecorderFamily::TX50;
        r.durationSeconds = 3;
        name = "tx50_F.MP4";
        break;
    }
    Sample s;
    s.path = *SampleEnvironment::dir / name;
    mkcard::RecordingReport report;
    std::string error;
    if (!mkcard::WriteRecording(r, s.path, &report, &error)) ADD_FAILURE() << "mkcard: " << error;
    s.frames = report.frames;
    s.records = report.records.size();
    return made[kind] = s;
}

// Records the players' posts.
class Messages : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget target, uint32_t message, uintptr_t wParam,
              intptr_t lParam) override {
        std::lock_guard lock(mutex_);
        posts_.push_back({target, message});
        EXPECT_EQ(wParam, 0u);
        EXPECT_EQ(lParam, 0);
        changed_.notify_all();
        return true;
    }
    size_t Count(platform::MessageTarget target, uint32_t message) {
        std::lock_guard lock(mutex_);
        return CountLocked(target, message);
    }
    bool WaitFor(platform::MessageTarget target, uint32_t message, size_t count, int ms = 15000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return CountLocked(target, message) >= count; });
    }

private:
    struct Posted {
        platform::MessageTarget target;
        uint32_t message;
    };
    size_t CountLocked(platform::MessageTarget target, uint32_t message) const {
        return static_cast<size_t>(
            std::count_if(posts_.begin(), posts_.end(), [&](const Posted& p) {
                return p.target == target && p.message == message;
            }));
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> posts_;
};

// The simulated sound devices the players made, in the order they were made.
class SoundDevices {
public:
    std::unique_ptr<playcore::AudioOutput> Make() {
        auto out =
            std::make_unique<playcore::SimulatedAudioOutput>(40 * playcore::kUnitsPerMillisecond);
        std::lock_guard lock(mutex_);
        made_.push_back(out.get());
        return out;
    }
    std::vector<playcore::SimulatedAudioOutput*> Made() {
        std::lock_guard lock(mutex_);
        return made_;
    }
    void Forget() {
        std::lock_guard lock(mutex_);
        made_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<playcore::SimulatedAudioOutput*> made_;
};

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace stest
