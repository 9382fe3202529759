#pragma once
// PacketQueue: compressed packets of one stream on their way from the demux
// thread to the stream's decoder, with the markers of a seek (Flush: the
// serial and target time of the new position) and of the end of the stream.
//
// The queue itself never makes the demuxer wait: the demuxer paces itself by
// the fill of all its queues (see Demand in media_session.cpp), so one full
// queue cannot starve another stream.
//
// Thread-safe; one internal mutex (a leaf lock).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "playcore/player/player_types.h"

struct AVPacket;

namespace playcore {

struct PacketItem {
    enum class Kind { Packet, Flush, End };
    Kind kind = Kind::Packet;
    AVPacket* packet = nullptr; // owned while queued (Packet only)
    uint64_t serial = 0;        // position the item belongs to
    MediaTime target = 0;       // Flush: the time the new position must show
};

class PacketQueue {
public:
    PacketQueue() = default;
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Takes ownership of item.packet. Dropped (and freed) after Abort.
    void Put(PacketItem item);
    // Waits for the next item; false once aborted. The caller owns item->packet.
    bool Get(PacketItem* item);
    // Frees every queued packet.
    void Clear();
    void Abort();

    size_t Count() const;
    size_t Bytes() const;
    // Sum of the queued packets' durations, 100-ns units (by SetUnitsPerTick).
    MediaTime Duration() const;
    // Whether an End marker is the last item put.
    bool Ended() const;
    // 100-ns units per tick of the stream's time base; set before the first Put.
    void SetUnitsPerTick(double unitsPerTick) { unitsPerTick_ = unitsPerTick; }

private:
    void ClearLocked();

    double unitsPerTick_ = 0;  // 100-ns units per time-base tick of the stream; set before use
    mutable std::mutex mutex_; // guards the fields below
    std::condition_variable ready_;
    std::deque<PacketItem> items_;
    size_t packets_ = 0;
    size_t bytes_ = 0;
    int64_t ticks_ = 0;
    bool ended_ = false;
    bool aborted_ = false;
};

} // namespace playcore
