#include "tools/player-bench/decode_bench.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "playcore/player/frame_scheduler.h"
#include "playcore/player/media_source.h"
#include "playcore/player/packet_queue.h"
#include "playcore/player/video_decoder.h"

extern "C" {
#include <libavformat/avformat.h>
}

using namespace playcore;

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Counts the frames the scheduler hands over and notes the end of the stream.
class Counter : public FrameTarget, public SchedulerListener {
public:
    void PresentFrame(std::shared_ptr<const VideoFrame>, int) override { ++frames; }
    void OnSchedulerPrerolled(int, uint64_t) override {}
    void OnSchedulerEnded(int, uint64_t) override { ended = true; }
    std::atomic<uint64_t> frames{0};
    std::atomic<bool> ended{false};
};

} // namespace

int RunDecodeBench(const std::string& path) {
    std::atomic<bool> abort{false};
    std::unique_ptr<MediaSource> source;
    if (MediaSource::Open(path, &abort, &source) < 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    int stream = -1; // the last video stream, as the player's branch 0
    for (int n = 0; n < source->StreamCount(); ++n)
        if (source->Stream(n).kind == StreamKind::Video) stream = n;
    if (stream < 0) return 1;
    const AVStream* st = source->FileStream(stream);
    PacketQueue packets;
    packets.SetUnitsPerTick(static_cast<double>(kUnitsPerSecond) * st->time_base.num /
                            st->time_base.den);
    std::atomic<uint64_t> serial{0};
    VideoDecoder decoder(*source, stream, &serial);
    if (decoder.Open(false, 0) < 0) return 1;
    Counter counter;
    FrameScheduler scheduler(stream, nullptr, source->Stream(stream).framePeriod, &counter);
    scheduler.SetTarget(&counter);
    scheduler.Start();
    scheduler.Run(0);

    const double start = Now();
    std::thread decoding([&] { decoder.Run(&packets, &scheduler); });
    // Demux as the session does: read ahead while fewer than 25 packets wait.
    AVPacket* packet = av_packet_alloc();
    const int fileIndex = source->Stream(stream).fileIndex;
    for (;;) {
        while (packets.Count() >= 25)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (av_read_frame(source->Format(), packet) < 0) break;
        if (packet->stream_index != fileIndex) {
            av_packet_unref(packet);
            continue;
        }
        AVPacket* owned = av_packet_alloc();
        av_packet_move_ref(owned, packet);
        packets.Put({PacketItem::Kind::Packet, owned, 0, 0});
    }
    av_packet_free(&packet);
    packets.Put({PacketItem::Kind::End, nullptr, 0, 0});
    const uint64_t expected = static_cast<uint64_t>(st->nb_frames);
    while (!counter.ended && (expected == 0 || counter.frames < expected) && Now() - start < 600)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double seconds = Now() - start;
    packets.Abort();
    scheduler.Abort();
    decoding.join();
    scheduler.Join();
    std::printf("player decoding alone:        %7.1f frames/s (%.2f s for %llu frames)\n",
                static_cast<double>(counter.frames) / seconds, seconds,
                static_cast<unsigned long long>(counter.frames.load()));

    const double f0 = Now();
    const std::string cmd =
        "ffmpeg -v error -nostdin -i '" + path + "' -map 0:v:0 -f null - >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "ffmpeg failed\n");
    const double fs = Now() - f0;
    std::printf("ffmpeg -i FILE -map 0:v:0 -f null -: %7.1f frames/s (%.2f s)\n",
                static_cast<double>(expected) / fs, fs);
    std::printf("ratio player / ffmpeg:        %7.2f\n",
                (static_cast<double>(counter.frames) / seconds) /
                    (static_cast<double>(expected) / fs));
    return 0;
}
