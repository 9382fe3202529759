#pragma once
// The conversion's arithmetic, without a decoder or a window: the colour
// conversion of decoded frames, the mask list the preview edits, the 9 x 9
// pixelation of written frames, the mask pictures of the preview, stream
// numbering and folding, the bounded sample queue, the end-of-stream count
// and the progress values.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "playcore/convert/convert_job.h"

namespace playcore {

// ---- masks -------------------------------------------------------------------

// The mask list, the rectangle being drawn and the drawing flag, shared by the
// UI thread (edits) and the converting thread (drawing, pixelation). Every
// member function takes the lock.
class MaskEditor {
public:
    enum Action { kPress = 1, kMove = 2, kRelease = 3, kUndo = 4, kDeleteAll = 5 };

    // s: output pixels per preview pixel, output width / trunc(S x 1000).
    explicit MaskEditor(double scale = 1.92) : scale_(scale) {}
    // s for display scale S and an output width: width / trunc(S x 1000)
    // (1.0 when that is 0).
    static double ScaleFor(double displayScale, int outputWidth = 1920);

    // Actions 1 to 5 at preview point (x, y) (ignored by 4 and 5). Returns 1.
    int Edit(int action, int x, int y);

    void SetMasks(std::vector<MaskRect> masks);
    std::vector<MaskRect> Masks() const;
    // The rectangle being drawn, while drawing.
    std::optional<MaskRect> Current() const;
    bool Drawing() const;
    // The masks and the rectangle being drawn, for one frame.
    std::vector<MaskRect> FrameMasks() const;

private:
    const double scale_;
    mutable std::mutex lock_;
    std::vector<MaskRect> masks_; // guarded by lock_
    MaskRect current_{};          // guarded by lock_; all zero when none
    bool drawing_ = false;        // guarded by lock_
};

// Left <= right and top <= bottom.
MaskRect OrderedRect(const MaskRect& r);

// Pixelates rect (corners inclusive, in any corner order) in a 32-bit picture
// of width x height (stride in bytes): from its top-left corner in 9 x 9
// blocks, each block's blue, green and red bytes replaced by their averages
// over the block's pixels inside the picture; the fourth byte is kept.
void PixelateRect(uint8_t* picture, int width, int height, int stride, const MaskRect& rect);

// Draws a mask as the preview shows it (the picture black with a red border,
// the border 12/400 of the rectangle's width and height, at least one pixel)
// into a 32-bit picture, the rectangle given in output pixels and scaled by
// (sx, sy) to the picture.
void DrawPreviewMask(uint8_t* picture, int width, int height, int stride, const MaskRect& rect,
                     double sx, double sy);

// ---- streams -----------------------------------------------------------------

// The reader's stream number of a file's track index: the file's tracks in
// reverse order (sound 0; one camera: video 1; combined: rear 1, front 2).
int SourceStreamNumber(int fileIndex, int fileStreamCount);
// The folded number (0 sound, 1 the converted video) of a reader stream
// number, or -1 for a stream that is not used (a combined file's rear video).
int FoldStream(int streamNumber, bool combined);
// End-of-stream reports after which the source has ended: one per stream
// read, and the final one.
inline int EndReportsToFinish(bool combined) {
    return combined ? 4 : 3;
}

// The queue between the reader and the converter: at most kCapacity samples.
template <typename T> class SampleQueue {
public:
    static constexpr size_t kCapacity = 5;
    bool WantsMore() const { return items_.size() < kCapacity; }
    bool Empty() const { return items_.empty(); }
    size_t Size() const { return items_.size(); }
    // False when full (the sample is not taken).
    bool Push(int folded, T item) {
        if (!WantsMore()) return false;
        items_.emplace_back(folded, std::move(item));
        return true;
    }
    std::pair<int, T>& Head() { return items_.front(); }
    void Pop() { items_.pop_front(); }

private:
    std::deque<std::pair<int, T>> items_;
};

// ---- progress ----------------------------------------------------------------

// The progress value after `counter` written frames of `total`, a run that
// starts at `progressStart` percent: T / 100 + (T - L) x counter / T + L with
// L = T / 100 + trunc(progressStart x T / 100) (that product in floating
// point, all else integer division). 0 when total <= 0.
int ProgressDone(int counter, int total, int progressStart);

// The pace of a run: frames per second so far and the seconds left at that
// pace (-1 while unknown: nothing done yet, no total, or no time passed).
struct ConvertPace {
    double framesPerSecond = 0;
    double secondsLeft = -1;
};
ConvertPace PaceOf(int framesDone, int totalFrames, double elapsedSeconds);

} // namespace playcore
