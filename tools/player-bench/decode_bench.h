#pragma once
// `player-bench decode FILE`: the player's own decoding chain (MediaSource,
// PacketQueue, VideoDecoder, FrameScheduler without a clock, frames consumed
// unseen) as fast as it goes, against `ffmpeg -f null` on the same file.

#include <string>

// Prints frames per second of both; 0 on success.
int RunDecodeBench(const std::string& path);
