#pragma once
// Support for the player tests: sample recordings made with mkcard at test
// time (kept for the whole test binary), and a frame target that reads the
// frame-number code of every frame it is handed.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "playcore/player/frame_scheduler.h"
#include "support/temp_dir.h"
#include "tools/mkcard/framecode.h"
#include "tools/mkcard/recording.h"

namespace ptest {

// mkcard's frame duration: 34,364 us (29.1 frames per second).
inline constexpr playcore::MediaTime kFrame = mkcard::kFrameUs29_1 * 10;
inline constexpr int kGop = 15;

inline playcore::MediaTime FrameTime(int n) {
    return n * kFrame;
}
// The frame that shows at media time t.
inline int FrameAt(playcore::MediaTime t) {
    return static_cast<int>(t / kFrame);
}

struct Sample {
    std::string path;
    int frames = 0;
};

enum class Kind {
    Front,          // one camera, 6 s, sound
    Combined,       // front 320x180, rear 256x144, sound, 4 s
    Silent,         // one camera without a sound track, 3 s
    BrokenSound,    // one camera whose sound track has a codec nobody decodes, 3 s
    Short,          // one camera, 1 s, sound
    SilentCombined, // front 320x180, rear 256x144, no sound track, 2 s
};

inline void PrintTo(Kind kind, std::ostream* os) {
    static const char* const names[] = {"Front",       "Combined", "Silent",
                                        "BrokenSound", "Short",    "SilentCombined"};
    *os << names[static_cast<int>(kind)];
}

// Renames the "mp4a" sample entry and sets the object type of its "esds"
// decoder configuration to one no decoder has (0xFE).
inline bool BreakSoundCodec(std::string* bytes) {
    const size_t entry = bytes->find("mp4a");
    const size_t esds = bytes->find("esds", entry);
    if (entry == std::string::npos || esds == std::string::npos) return false;
    bytes->replace(entry, 4, "zzzz");
    size_t at = esds + 8; // after version and flags
    auto descriptor = [&](uint8_t tag) {
        if (at >= bytes->size() || static_cast<uint8_t>((*bytes)[at]) != tag) return false;
        ++at;
        while (at < bytes->size() && (static_cast<uint8_t>((*bytes)[at]) & 0x80))
            ++at; // size bytes with the continuation bit
        ++at;
        return at < bytes->size();
    };
    if (!descriptor(0x03)) return false;
    at += 3; // ES_ID, flags
    if (!descriptor(0x04)) return false;
    (*bytes)[at] = static_cast<char>(0xFE);
    return true;
}

// Writes the sample once per test binary and returns it.
// Keeps the samples of the test binary in one folder, removed at the end.
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
    const ktest::TempDir* dir = SampleEnvironment::dir.get();
    av_log_set_level(AV_LOG_ERROR); // the encoders' reports are of no interest here
    auto it = made.find(kind);
    if (it != made.end()) return it->second;

    mkcard::RecordingSpec recipe;
    recipe.gop = kGop;
    std::string name = "front.MP4";
    switch (kind) {
    case Kind::Front:
        recipe.durationSeconds = 6;
        break;
    case Kind::Combined:
        recipe.content = mkcard::FileContent::Combined;
        recipe.durationSeconds = 4;
        recipe.rearWidth = 256;
        recipe.rearHeight = 144;
        name = "combined.MP4";
        break;
    case Kind::Silent:
        recipe.durationSeconds = 3;
        recipe.audio = false;
        name = "silent.MP4";
        break;
    case Kind::BrokenSound:
        recipe.durationSeconds = 3;
        name = "broken.MP4";
        break;
    case Kind::Short:
        recipe.durationSeconds = 1;
        name = "short.MP4";
        break;
    case Kind::SilentCombined:
        recipe.content = mkcard::FileContent::Combined;
        recipe.durationSeconds = 2;
        recipe.rearWidth = 256;
        recipe.rearHeight = 144;
        recipe.audio = false;
        name = "silent-combined.MP4";
        break;
    }
    Sample s;
    s.path = *dir / name;
    mkcard::RecordingReport report;
    std::string error;
    if (!mkcard::WriteRecording(recipe, s.path, &report, &error)) {
        ADD_FAILURE() << "mkcard: " << error;
        return made[kind] = s;
    }
    s.frames = report.frames;
    if (kind == Kind::BrokenSound) {
        // The sound's sample entry and its decoder configuration name a
        // codec no decoder knows.
        std::string bytes = ktest::ReadFile(s.path);
        if (!BreakSoundCodec(&bytes)) ADD_FAILURE() << "no mp4a entry with esds";
        std::FILE* f = std::fopen(s.path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return made[kind] = s;
}

// The frame number a decoded picture shows (-1 unreadable).
inline int CodeOf(const playcore::VideoFrame& f) {
    return kframecode::ReadFrameCode(f.data[0], f.width, f.height, f.stride[0]);
}

// Records the frame numbers handed to it.
class CodeRecorder : public playcore::FrameTarget {
public:
    void PresentFrame(std::shared_ptr<const playcore::VideoFrame> frame, int level) override {
        const int code = CodeOf(*frame);
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
        levels_.push_back(level);
        size_ = {frame->width, frame->height};
        changed_.notify_all();
    }
    bool WaitFor(const std::function<bool(const std::vector<int>&)>& pred, int ms = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pred(codes_); });
    }
    // Waits for `count` presentations in all.
    bool WaitCount(size_t count, int ms = 10000) {
        return WaitFor([&](const std::vector<int>& c) { return c.size() >= count; }, ms);
    }
    std::vector<int> Codes() {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return codes_.size();
    }
    int Last() {
        std::lock_guard lock(mutex_);
        return codes_.empty() ? -2 : codes_.back();
    }
    std::pair<int, int> Size() {
        std::lock_guard lock(mutex_);
        return size_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> codes_;
    std::vector<int> levels_;
    std::pair<int, int> size_{0, 0};
};

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace ptest
