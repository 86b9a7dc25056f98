#include "QuorlAudio/asr/batch/TdtEncoderFrameMover.hpp"

#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"

#include "platform/dsp/Vector.hpp"

#include <algorithm>

namespace quorl {

namespace {

constexpr int framesPerStage = 8;

// Frames whose values share rows, adjacent within each row: the layout staging pays off for.
bool interleavesFrames(const EncoderFrameView& view) { return view.timeStride == 1 && view.hiddenStride > 1; }

void copyBackward(const float* source, std::size_t sourceStride, float* destination, std::size_t destinationStride,
                  std::size_t count) {
    for (std::size_t index = count; index-- > 0;) {
        destination[index * destinationStride] = source[index * sourceStride];
    }
}

} // namespace

void EncoderFrameMover::copyFrame(const EncoderFrameView& view, int index, float* destination,
                                  std::size_t destinationStride) {
    const bool staging = interleavesFrames(view);
    const float* source =
        staging ? stagedFrame(view, index) : view.basePointer + static_cast<std::size_t>(index) * view.timeStride;
    const std::size_t sourceStride = staging ? 1 : view.hiddenStride;
    const auto count = static_cast<std::size_t>(view.hiddenSize);
    if (backward_) {
        copyBackward(source, sourceStride, destination, destinationStride, count);
    } else {
        platform::dsp::copy(source, sourceStride, destination, destinationStride, count);
    }
    backward_ = !backward_;
}

const float* EncoderFrameMover::stagedFrame(const EncoderFrameView& view, int index) {
    const auto hiddenSize = static_cast<std::size_t>(view.hiddenSize);
    if (stagedFirst_ < 0 || index < stagedFirst_ || index >= stagedFirst_ + framesPerStage) {
        stagedFirst_ = index / framesPerStage * framesPerStage;
        const int frames = std::min(framesPerStage, view.count - stagedFirst_);
        staged_.resize(framesPerStage * hiddenSize);
        platform::dsp::transpose(view.basePointer + stagedFirst_, view.hiddenStride, staged_.data(), hiddenSize,
                                 hiddenSize, static_cast<std::size_t>(frames));
    }
    return staged_.data() + static_cast<std::size_t>(index - stagedFirst_) * hiddenSize;
}

} // namespace quorl
