#include "tools/mkcard/recording.h"

#include "tools/mkcard/media_encode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace mkcard {

using playcore::RecorderFamily;

namespace {

struct CameraJob {
    Lens lens;
    int width, height;
};

bool EncodeCamera(const RecordingSpec& recipe, const CameraJob& cam, int frames, Mp4Track* track,
                  std::string* error) {
    VideoSettings vs;
    vs.width = cam.width;
    vs.height = cam.height;
    vs.frameUs = recipe.frameUs;
    vs.gop = recipe.gop;
    vs.crf = recipe.crf;
    vs.preset = recipe.x264Preset;
    H264Encoder encoder;
    if (!encoder.Open(vs, error)) return false;
    std::shared_ptr<const ScenePlan> plan = ScenePlan::Get(cam.lens, cam.width, cam.height);
    const double dayStart =
        recipe.start.hour * 3600.0 + recipe.start.minute * 60.0 + recipe.start.second;
    const Route& route = TheRoute();
    const double parkedDistance = route.DistanceAt(dayStart);
    std::vector<EncodedSample> samples;
    samples.reserve(size_t(frames));
    for (int i = 0; i < frames; ++i) {
        const double movieSeconds = static_cast<double>(i) * recipe.frameUs / 1e6;
        const double real = dayStart + movieSeconds * recipe.realSecondsPerRecord;
        const double distance = recipe.parked ? parkedDistance : route.DistanceAt(real);
        plan->Render(encoder.Picture(), distance, recipe.firstFrame + i, movieSeconds,
                     recipe.frameCode);
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
    track->sampleDelta = recipe.frameUs;
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

bool WriteRecording(const RecordingSpec& recipe, const std::string& path, RecordingReport* report,
                    std::string* error) {
    const auto began = std::chrono::steady_clock::now();
    RecordingReport local;
    RecordingReport& r = report ? *report : local;
    r = RecordingReport{};
    if (recipe.durationSeconds <= 0 || recipe.frameUs == 0 || recipe.gop <= 0) {
        *error = "duration, frame duration and key-frame interval must be positive";
        return false;
    }
    const int frames = FrameCount(recipe.durationSeconds, recipe.frameUs);
    std::vector<CameraJob> cameras;
    if (recipe.content != FileContent::Rear)
        cameras.push_back({Lens::Fisheye, recipe.frontWidth, recipe.frontHeight});
    if (recipe.content != FileContent::Front)
        cameras.push_back({Lens::Rear, recipe.rearWidth, recipe.rearHeight});

    Mp4Movie movie;
    movie.creationTime = Mp4Seconds(recipe.start);
    movie.chunkSeconds = recipe.chunkSeconds;
    movie.unknownUdtaChild = recipe.unknownUdtaChild;
    movie.omitMoov = recipe.unfinished;
    try {
        for (const CameraJob& cam : cameras) {
            Mp4Track track;
            if (!EncodeCamera(recipe, cam, frames, &track, error)) return false;
            movie.tracks.push_back(std::move(track));
        }
        if (recipe.audio) {
            Mp4Track track;
            if (!EncodeSound(static_cast<double>(frames) * recipe.frameUs / 1e6, &track, error))
                return false;
            movie.tracks.push_back(std::move(track));
        }
        if (!recipe.unfinished) movie.trailer = RecordingTrailer(recipe, &r.records);
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
    r.firmware = FirmwareText(recipe.header.identification);
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
