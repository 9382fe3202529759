#include "playcore/player/packet_queue.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace playcore {

PacketQueue::~PacketQueue() {
    std::lock_guard lock(mutex_);
    ClearLocked();
}

void PacketQueue::Put(PacketItem item) {
    std::lock_guard lock(mutex_);
    if (aborted_) {
        if (item.packet) av_packet_free(&item.packet);
        return;
    }
    if (item.kind == PacketItem::Kind::Packet && item.packet) {
        ++packets_;
        bytes_ += static_cast<size_t>(item.packet->size);
        ticks_ += item.packet->duration;
    }
    ended_ = item.kind == PacketItem::Kind::End;
    items_.push_back(item);
    ready_.notify_all();
}

bool PacketQueue::Get(PacketItem* item) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return aborted_ || !items_.empty(); });
    if (aborted_) return false;
    *item = items_.front();
    items_.pop_front();
    if (item->kind == PacketItem::Kind::Packet && item->packet) {
        --packets_;
        bytes_ -= static_cast<size_t>(item->packet->size);
        ticks_ -= item->packet->duration;
    }
    return true;
}

void PacketQueue::ClearLocked() {
    for (PacketItem& item : items_)
        if (item.packet) av_packet_free(&item.packet);
    items_.clear();
    packets_ = bytes_ = 0;
    ticks_ = 0;
    ended_ = false;
}

void PacketQueue::Clear() {
    std::lock_guard lock(mutex_);
    ClearLocked();
}

void PacketQueue::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    ClearLocked();
    ready_.notify_all();
}

size_t PacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return packets_;
}

size_t PacketQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

MediaTime PacketQueue::Duration() const {
    std::lock_guard lock(mutex_);
    return static_cast<MediaTime>(static_cast<double>(ticks_) * unitsPerTick_);
}

bool PacketQueue::Ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

} // namespace playcore
