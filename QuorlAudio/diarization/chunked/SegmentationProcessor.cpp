#include "QuorlAudio/diarization/chunked/SegmentationProcessor.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

// The model's scores are read by frame and class through the strides, so the checks here are all that stands
// between a model of another geometry and a read past its memory.
void checkSegmentsShape(const MultiArray& output) {
    const auto& shape = output.shape();
    if (output.dataType() != DataType::float32) {
        throw DiarizerError::processingFailed("Segmentation output must hold 32-bit floats");
    }
    if (shape.size() < 3) {
        throw DiarizerError::processingFailed("Segmentation output has rank " + std::to_string(shape.size()) +
                                              "; expected [batch, frames, classes]");
    }
    if (shape[2] != PowersetConversion::classCount) {
        throw DiarizerError::processingFailed("Segmentation output has " + std::to_string(shape[2]) +
                                              " classes per frame; expected 7");
    }
    if (shape[0] == 0 || shape[1] == 0) {
        throw DiarizerError::processingFailed("Segmentation output holds no frames");
    }
}

} // namespace

SegmentationProcessor::Result SegmentationProcessor::getSegments(std::span<const float> audioChunk,
                                                                 const platform::ml::Model& segmentationModel,
                                                                 std::size_t chunkSize) {
    auto audio = memoryOptimizer_.createAlignedArray({1, 1, chunkSize}, DataType::float32);
    memoryOptimizer_.optimizedCopy(audioChunk.first(std::min(chunkSize, audioChunk.size())), *audio, 0, true);
    const ZeroCopyDiarizerFeatureProvider input({{"audio", audio}});
    auto outputs = segmentationModel.predict(input);
    const auto segments = platform::ml::multiArrayOutput(*outputs, "segments");
    if (!segments) {
        throw DiarizerError::processingFailed("Missing segments output from segmentation model");
    }
    return {.segments = processSegmentsOptimized(*segments), .featureProvider = std::move(outputs)};
}

PowersetConversion::Matrix SegmentationProcessor::processSegmentsOptimized(const MultiArray& output) {
    checkSegmentsShape(output);
    const std::size_t frames = output.shape()[1];
    const float* values = output.data<float>();
    PowersetConversion::Matrix scores(1, std::vector<std::vector<float>>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        auto& row = scores[0][frame];
        row.resize(PowersetConversion::classCount);
        for (std::size_t index = 0; index < row.size(); ++index) {
            row[index] = values[frame * output.strides()[1] + index * output.strides()[2]];
        }
    }
    return PowersetConversion::alignedConversion(scores, memoryOptimizer_);
}

} // namespace quorl
