#pragma once
// Decoded FFmpeg pictures as the presenter's VideoFrame. Formats the
// presenter draws are passed without copying (the VideoFrame keeps a
// reference to the decoder's buffers); any other format, full-range YUV
// (which the presenter's video-range conversion would misread) and bottom-up
// rows are converted to I420 with libswscale first. Hardware frames are
// downloaded first.

#include <memory>

#include "playcore/models/video_frame.h"

struct AVFrame;

namespace playcore {

// The presenter format of an FFmpeg pixel format, None when it has none.
PixelFormat PresenterFormatOf(int avPixelFormat);

// A VideoFrame for `frame` (which is not changed), or null when the picture
// cannot be had (download or conversion failed, size out of range). `pts`,
// the frame's start on the player's time line (100-ns units), is kept in the
// VideoFrame.
std::shared_ptr<const VideoFrame> ToVideoFrame(const AVFrame* frame, int64_t pts = 0);

} // namespace playcore
