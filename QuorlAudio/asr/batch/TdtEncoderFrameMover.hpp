#pragma once

#include <cstddef>
#include <vector>

namespace quorl {

struct EncoderFrameView;

// Moves frames out of one window's encoder output with as few cache misses as its layout allows. In a
// [1, H, T] output the values of one frame lie a whole row apart, one per cache line, so frames are first
// staged eight at a time, frame after frame: each line is then read once for eight frames. The padded
// destination of a frame spans more lines than the first-level cache holds, so copies alternate direction:
// each one starts on the lines the previous one wrote last, which are still in that cache.
class EncoderFrameMover {
public:
    // Copies frame `index` of the view, already checked, into `destination`, one float every
    // `destinationStride` elements.
    void copyFrame(const EncoderFrameView& view, int index, float* destination, std::size_t destinationStride);

private:
    // Frame `index` as `hiddenSize` adjacent values in the stage, staging its group of frames first.
    const float* stagedFrame(const EncoderFrameView& view, int index);

    std::vector<float> staged_;
    // The first frame in the stage; -1 before any.
    int stagedFirst_ = -1;
    bool backward_ = false;
};

} // namespace quorl
