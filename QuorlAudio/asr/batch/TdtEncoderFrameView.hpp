#pragma once

#include "QuorlAudio/asr/batch/TdtEncoderFrameMover.hpp"

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>

namespace quorl {

// One window's encoder output, [1, H, T] or [1, T, H], read frame by frame through its own strides.
struct EncoderFrameView {
    // Checks the output and locates its axes; ASRError::processingFailed when it is not a 32-bit float
    // array of one batch with frames of the expected hidden size, or its frames do not advance in memory.
    EncoderFrameView(std::shared_ptr<const platform::ml::MultiArray> encoderOutput, int validLength,
                     int expectedHiddenSize);

    // Copies frame `index` into `destination`, one float every `destinationStride` elements. The view keeps
    // what it staged between copies, so one thread copies through a view at a time.
    void copyFrame(int index, float* destination, std::size_t destinationStride) const;

    int hiddenSize = 0;
    // Usable frames: the smaller of the time dimension and the valid length.
    int count = 0;
    std::shared_ptr<const platform::ml::MultiArray> array;
    std::size_t timeAxis = 0;
    std::size_t hiddenAxis = 0;
    std::size_t timeStride = 0;
    std::size_t hiddenStride = 0;
    const float* basePointer = nullptr;
    // A cache of frames, not part of what the view shows.
    mutable EncoderFrameMover mover;
};

} // namespace quorl
