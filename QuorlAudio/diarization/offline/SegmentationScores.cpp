#include "QuorlAudio/diarization/offline/SegmentationScores.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/MessageText.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/text/TextPieces.hpp"

#include <memory>
#include <string>

namespace quorl {
namespace {

using platform::ml::MultiArray;

std::shared_ptr<MultiArray> scoresArray(const platform::ml::FeatureProvider& output) {
    for (const char* name : {"segments", "log_probs"}) {
        if (auto array = platform::ml::multiArrayOutput(output, name)) {
            return array;
        }
    }
    const auto names = output.featureNames();
    for (const auto& name : names) {
        if (auto array = platform::ml::multiArrayOutput(output, name)) {
            return array;
        }
    }
    const std::vector<std::string> available(names.begin(), names.end());
    throw OfflineDiarizationError::processingFailed(
        "Segmentation model missing expected multiarray output. Available: " + platform::text::quotedList(available));
}

SegmentationScores geometry(const MultiArray& array) {
    const auto& shape = array.shape();
    if (shape.size() == 2) {
        return {.windows = 1, .numFrames = shape[0], .numClasses = shape[1], .values = {}};
    }
    if (shape.size() == 3) {
        return {.windows = shape[0], .numFrames = shape[1], .numClasses = shape[2], .values = {}};
    }
    throw OfflineDiarizationError::processingFailed("Unexpected segmentation output shape " +
                                                    platform::ml::shapeText(shape));
}

// A frame-less or class-less output would make every frame duration infinite or every frame undecidable, and
// dropping windows the batch sent would misplace every later window on the timeline.
void checkHolds(const SegmentationScores& scores, const MultiArray& array, std::size_t windowsSent) {
    if (scores.numFrames == 0 || scores.numClasses == 0) {
        throw OfflineDiarizationError::processingFailed(
            "Segmentation output shape " + platform::ml::shapeText(array.shape()) + " holds no frame or no class");
    }
    if (scores.windows < windowsSent) {
        throw OfflineDiarizationError::processingFailed(
            platform::core::concatenated({"Segmentation output holds ", std::to_string(scores.windows), " windows but ",
                                          std::to_string(windowsSent), " were sent"}));
    }
}

} // namespace

SegmentationScores SegmentationScores::read(const platform::ml::FeatureProvider& output, std::size_t windowsSent) {
    const auto array = scoresArray(output);
    SegmentationScores scores = geometry(*array);
    checkHolds(scores, *array, windowsSent);
    scores.values = platform::ml::floatElements(*array);
    return scores;
}

std::span<const float> SegmentationScores::frame(std::size_t window, std::size_t frameIndex) const {
    return std::span(values).subspan((window * numFrames + frameIndex) * numClasses, numClasses);
}

} // namespace quorl
