#pragma once
// MediaSource: one movie file opened for reading with libavformat, and what
// the player needs to know of its streams, in the player's own numbering
// (PresentationStreamIndex: the file's tracks in reverse order).
//
// Opening reads the container only (the MP4 boxes); no frame is decoded.
// After Open the stream list is immutable and may be read from any thread;
// the format context belongs to the session's worker thread.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "playcore/player/player_types.h"

struct AVFormatContext;
struct AVStream;
struct AVRational;

namespace playcore {

enum class StreamKind { Video, Audio, Other };

struct StreamInfo {
    int index = -1;     // the player's numbering
    int fileIndex = -1; // libavformat's
    StreamKind kind = StreamKind::Other;
    bool decodable = false; // a decoder for its codec exists
    int width = 0, height = 0;
    // Frame rate as a fraction (0/0 when the file gives none) and the frame
    // period it makes, 100-ns units (0 when unknown).
    int frameRateNum = 0, frameRateDen = 0;
    MediaTime framePeriod = 0;
    int sampleRate = 0, channels = 0;
    MediaTime duration = 0;
};

class MediaSource {
public:
    ~MediaSource();
    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // Opens `path`. Reads give up with an error once *abort becomes true.
    // Returns a negative libavformat code on failure (nothing is kept).
    // heldFile: a descriptor of path's regular file the caller already holds
    // open (it stays the caller's); the container is read through it instead
    // of opening path once more. -1: path is opened here.
    static PlayerResult Open(const std::string& path, const std::atomic<bool>* abort,
                             std::unique_ptr<MediaSource>* out, int heldFile = -1);

    // The flag its reads give up on from now on (a source opened ahead on
    // another thread is handed to the session that plays it).
    void SetAbort(const std::atomic<bool>* abort);

    int StreamCount() const { return static_cast<int>(streams_.size()); }
    // Stream n in the player's numbering (0 <= n < StreamCount()).
    const StreamInfo& Stream(int n) const { return streams_[static_cast<size_t>(n)]; }
    // The movie's duration (0 when the file states none).
    MediaTime Duration() const { return duration_; }

    AVFormatContext* Format() const { return format_; }
    AVStream* FileStream(int n) const;

    // Time stamps of a stream <-> media time (time 0 = the file's start).
    MediaTime ToMediaTime(int64_t ts, const AVRational& timeBase) const;
    int64_t FromMediaTime(MediaTime t, const AVRational& timeBase) const;

private:
    MediaSource() = default;

    AVFormatContext* format_ = nullptr;
    std::vector<StreamInfo> streams_; // by the player's numbering
    MediaTime origin_ = 0;            // the file's start time, 100-ns units
    MediaTime duration_ = 0;
};

// The frame timing of a movie as a media detector gives it, for a file whose
// boxes told nothing: the video streams in the player's numbering are looked
// at in order, and the first with a positive frame rate (the rate it states,
// else one over its average frame duration) gives 1000 / rate ms. A negative
// result when the file cannot be opened or no video stream has a rate.
PlayerResult ProbeFrameDuration(const std::string& path, float* frameDurationMs);

} // namespace playcore
