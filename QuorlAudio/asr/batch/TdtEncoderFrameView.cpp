#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtStrideLimit.hpp"

#include "platform/ml/MessageText.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

namespace quorl {

namespace {

using platform::ml::concat;
using platform::ml::shapeText;

bool hasSize(std::size_t dimension, int size) { return size >= 0 && dimension == static_cast<std::size_t>(size); }

} // namespace

EncoderFrameView::EncoderFrameView(std::shared_ptr<const platform::ml::MultiArray> encoderOutput, int validLength,
                                   int expectedHiddenSize)
    : hiddenSize(expectedHiddenSize), array(std::move(encoderOutput)) {
    const auto& shape = array->shape();
    if (shape.size() != 3) {
        throw ASRError::processingFailed("Invalid encoder output shape: " + shapeText(shape));
    }
    if (shape[0] != 1) {
        throw ASRError::processingFailed("Unsupported batch dimension: " + std::to_string(shape[0]));
    }
    if (hasSize(shape[1], expectedHiddenSize)) {
        hiddenAxis = 1;
        timeAxis = 2;
    } else if (hasSize(shape[2], expectedHiddenSize)) {
        hiddenAxis = 2;
        timeAxis = 1;
    } else {
        throw ASRError::processingFailed(concat(
            {"Encoder hidden size mismatch: ", shapeText(shape), ", expected ", std::to_string(expectedHiddenSize)}));
    }
    timeStride = array->strides()[timeAxis];
    hiddenStride = array->strides()[hiddenAxis];
    count = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(shape[timeAxis]), validLength));
    if (count < 1) {
        throw ASRError::processingFailed("Encoder output has no frames");
    }
    if (array->dataType() != platform::ml::DataType::float32) {
        throw ASRError::processingFailed(
            concat({"Unsupported encoder output type: ", platform::ml::rawValue(array->dataType())}));
    }
    // Frames that do not advance in memory would all read the first one.
    if (timeStride == 0) {
        throw ASRError::processingFailed("Invalid time stride: 0");
    }
    basePointer = array->data<float>();
}

void EncoderFrameView::copyFrame(int index, float* destination, std::size_t destinationStride) const {
    if (index < 0 || index >= count) {
        throw ASRError::processingFailed("Encoder frame index out of range: " + std::to_string(index));
    }
    if (hiddenStride == 0) {
        throw ASRError::processingFailed("Invalid hidden stride: 0");
    }
    if (!fitsInt32(hiddenStride)) {
        throw ASRError::processingFailed("Hidden stride exceeds supported range");
    }
    if (!fitsInt32(destinationStride)) {
        throw ASRError::processingFailed("Destination stride exceeds supported range");
    }
    mover.copyFrame(*this, index, destination, destinationStride);
}

} // namespace quorl
