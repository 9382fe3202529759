#include "tools/mkcard/recording.h"

#include "tools/mkcard/media_encode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace mkcard {

using kinetta::RecorderFamily;

namespace {

struct CameraJob {
    Lens lens;
    int width, height;
};

bool EncodeCamera(const RecordingSpec& spec, const CameraJob& cam, int frames, Mp4Track* track,
                  std::string* error) {
    VideoSettings vs;
    vs.width = cam.width;
    vs.height = cam.height;
    vs.frameUs = spec.frameUs;
    vs.gop = spec.gop;
    vs.crf = spec.crf;
    vs.preset = spec.x264Preset;
    H264Encoder encoder;
    if (!encoder.Open(vs, error)) return false;
    std::shared_ptr<const ScenePlan> plan = ScenePlan::Get(cam.lens, cam.width, cam.height);
    const double dayStart = spec.start.hour * 3600.0 + spec.start.minute * 60.0 + spec.start.second;
    const Route& route = TheRoute();
    const double parkedDistance = route.DistanceAt(dayStart);
    std::vector<EncodedSample> samples;
    samples.reserve(size_t(frames));
    for (int i = 0; i < frames; ++i) {
        const double movieSeconds = static_cast<double>(i) * spec.frameUs / 1e6;
        const double real = dayStart + movieSeconds * spec.realSecondsPerRecord;
        const double distance = spec.parked ? parkedDistance : route.DistanceAt(real);
        plan->Render(encoder.Picture(), distance, spec.firstFrame + i, movieSeconds);
        if (!encoder.Encode(&samples, error)) return false;
    }
    if (!encoder.Flush(&samples, error)) return false;
    if (samples.size() != size_t(frames)) {
        *error = "the encoder returned " + std::to_string(samples.size()) + " pictures for " +
                 std::to_string(frames);
        return false;
    }
    track->kind = TrackKind::Video;
    track->timescale = 1000000;
    track->sampleDelta = spec.frameUs;
    track->width = static_cast<uint16_t>(cam.width);
    track->height = static_cast<uint16_t>(cam.height);
    track->sampleEntry = AvcSampleEntry(track->width, track->height, encoder.AvcConfig());
    track->samples.reserve(samples.size());
    for (EncodedSample& s : samples) {
        track->sync.push_back(s.key);
        track->samples.push_back(std::move(s.data));
    }
    return true;
}

bool EncodeSound(double seconds, Mp4Track* track, std::string* error) {
    EncodedAudio audio;
    if (!EncodeAudio(AudioSettings{}, seconds, &audio, error)) return false;
    size_t largest = 0;
    for (const EncodedSample& s : audio.frames)
        largest = std::max(largest, s.data.size());
    const uint32_t maxBitrate =
        static_cast<uint32_t>(largest * 8 * static_cast<size_t>(audio.sampleRate) / 1024);
    track->kind = TrackKind::Audio;
    track->timescale = static_cast<uint32_t>(audio.sampleRate);
    track->sampleDelta = 1024;
    track->mediaTime = audio.encoderDelay;
    track->sampleEntry = Mp4aSampleEntry(
        static_cast<uint16_t>(audio.channels), static_cast<uint32_t>(audio.sampleRate),
        audio.audioSpecificConfig, static_cast<uint32_t>(audio.bitRate), maxBitrate,
        static_cast<uint32_t>(largest));
    for (EncodedSample& s : audio.frames)
        track->samples.push_back(std::move(s.data));
    return !track->samples.empty();
}

} // namespace

bool WriteRecording(const RecordingSpec& spec, const std::string& path, RecordingReport* report,
                    std::string* error) {
    const auto began = std::chrono::steady_clock::now();
    RecordingReport local;
    RecordingReport& r = report ? *report : local;
    r = RecordingReport{};
    if (spec.durationSeconds <= 0 || spec.frameUs == 0 || spec.gop <= 0) {
        *error = "duration, frame duration and key-frame interval must be positive";
        return false;
    }
    const int frames = FrameCount(spec.durationSeconds, spec.frameUs);
    std::vector<CameraJob> cameras;
    if (spec.content != FileContent::Rear)
        cameras.push_back({Lens::Fisheye, spec.frontWidth, spec.frontHeight});
    if (spec.content != FileContent::Front)
        cameras.push_back({Lens::Rear, spec.rearWidth, spec.rearHeight});

    Mp4Movie movie;
    movie.creationTime = Mp4Seconds(spec.start);
    movie.chunkSeconds = spec.chunkSeconds;
    movie.unknownUdtaChild = spec.unknownUdtaChild;
    movie.omitMoov = spec.unfinished;
    try {
        for (const CameraJob& cam : cameras) {
            Mp4Track track;
            if (!EncodeCamera(spec, cam, frames, &track, error)) return false;
            movie.tracks.push_back(std::move(track));
        }
        if (spec.audio) {
            Mp4Track track;
            if (!EncodeSound(static_cast<double>(frames) * spec.frameUs / 1e6, &track, error))
                return false;
            movie.tracks.push_back(std::move(track));
        }
        if (!spec.unfinished) movie.trailer = RecordingTrailer(spec, &r.records);
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }

    const std::string temp = path + ".mkcard-part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + temp;
        return false;
    }
    bool ok = WriteMp4(
        movie,
        [f](const uint8_t* data, size_t size) { return std::fwrite(data, 1, size, f) == size; },
        &r.layout, error);
    ok = (std::fclose(f) == 0) && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + temp;
        ok = false;
    }
    if (!ok) {
        std::remove(temp.c_str());
        return false;
    }

    r.fileSize = r.layout.fileSize;
    r.frames = frames;
    r.firmware = FirmwareText(spec.header.identification);
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        const Mp4Track& t = movie.tracks[i];
        TrackReport tr;
        tr.kind = t.kind == TrackKind::Video ? "video" : "audio";
        tr.width = t.width;
        tr.height = t.height;
        tr.timescale = t.timescale;
        tr.sampleDelta = t.sampleDelta;
        tr.samples = static_cast<uint32_t>(t.samples.size());
        tr.syncSamples = static_cast<uint32_t>(std::count(t.sync.begin(), t.sync.end(), true));
        tr.mediaTime = t.mediaTime;
        for (const ChunkInfo& c : r.layout.chunks)
            if (c.track == static_cast<int>(i)) ++tr.chunks;
        for (const auto& s : t.samples)
            tr.bytes += s.size();
        r.tracks.push_back(tr);
    }
    r.encodeSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return true;
}

} // namespace mkcard
