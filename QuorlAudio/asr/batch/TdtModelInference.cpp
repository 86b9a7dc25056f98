#include "QuorlAudio/asr/batch/TdtModelInference.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtStrideLimit.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/dsp/Vector.hpp"
#include "platform/ml/MessageText.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace quorl {

namespace {

using platform::ml::concat;
using platform::ml::DataType;
using platform::ml::MultiArray;
using platform::ml::shapeText;

constexpr auto projectionSize = static_cast<std::size_t>(ASRConstants::decoderHiddenSize);

// Swaps a backing map into the options for one prediction and back out afterwards.
class LentBackings {
public:
    LentBackings(platform::ml::PredictionOptions& options, TdtStepBuffers::Backings& backings)
        : options_(options), backings_(backings) {
        options_.outputBackings.swap(backings_);
    }
    ~LentBackings() { options_.outputBackings.swap(backings_); }
    LentBackings(const LentBackings&) = delete;
    LentBackings& operator=(const LentBackings&) = delete;

private:
    platform::ml::PredictionOptions& options_;
    TdtStepBuffers::Backings& backings_;
};

std::shared_ptr<MultiArray> requiredOutput(const platform::ml::FeatureProvider& output, const std::string& name) {
    const auto value = output.featureValue(name);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr) {
        throw ASRError::processingFailed("Joint decision output missing " + name);
    }
    return array;
}

// Every element in logical order into `storage`, read through the array's strides so padded outputs read
// correctly; the storage is reused from step to step.
template <class T, class Element> void readElements(const MultiArray& array, std::vector<Element>& storage) {
    const T* data = array.data<T>();
    storage.resize(array.count());
    for (std::size_t index = 0; index < storage.size(); ++index) {
        storage[index] = data[array.offsetOf(index)];
    }
}

template <class T, class Element>
std::optional<std::span<const Element>> extractArray(const platform::ml::FeatureProvider& output,
                                                     const std::string& key, const char* expectedTypeName,
                                                     std::vector<Element>& storage) {
    const auto value = output.featureValue(key);
    const auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr) {
        return std::nullopt;
    }
    if (array->dataType() != platform::ml::dataTypeOf<T>()) {
        throw ASRError::processingFailed(
            concat({"Expected ", expectedTypeName, " for ", key, ", got ", platform::ml::rawValue(array->dataType())}));
    }
    readElements<T>(*array, storage);
    return std::span<const Element>(storage);
}

std::optional<std::span<const int>> extractInt32Array(const platform::ml::FeatureProvider& output,
                                                      const std::string& key, std::vector<int>& storage) {
    return extractArray<std::int32_t>(output, key, "Int32", storage);
}

std::optional<std::span<const float>> extractFloat32Array(const platform::ml::FeatureProvider& output,
                                                          const std::string& key, std::vector<float>& storage) {
    return extractArray<float>(output, key, "Float32", storage);
}

void readTopK(const platform::ml::FeatureProvider& output, TdtStepBuffers::TopKLists& topK,
              TdtJointDecision& decision) {
    decision.topKIds = extractInt32Array(output, "top_k_ids", topK.ids);
    decision.topKLogits = extractFloat32Array(output, "top_k_logits", topK.logits);
    if (decision.topKIds.has_value() != decision.topKLogits.has_value()) {
        throw ASRError::processingFailed(
            "Joint decision top-K outputs must be present as a pair (top_k_ids + top_k_logits)");
    }
    if (decision.topKIds && decision.topKIds->size() != decision.topKLogits->size()) {
        throw ASRError::processingFailed(
            concat({"Joint decision top-K length mismatch: ", std::to_string(decision.topKIds->size()), " vs ",
                    std::to_string(decision.topKLogits->size())}));
    }
}

std::string dimensionsText(const MultiArray::Shape& shape) {
    std::string text;
    for (std::size_t index = 0; index < shape.size(); ++index) {
        text.append(index > 0 ? "x" : "").append(std::to_string(shape[index]));
    }
    return text;
}

// The projection's hidden axis: 2 for [1, 1, 640], 1 for [1, 640, 1].
std::size_t projectionHiddenAxis(const MultiArray& projection) {
    const auto& shape = projection.shape();
    if (shape.size() != 3) {
        throw ASRError::processingFailed("Invalid decoder projection rank: " + shapeText(shape));
    }
    if (shape[0] != 1) {
        throw ASRError::processingFailed("Unsupported decoder batch dimension: " + std::to_string(shape[0]));
    }
    if (projection.dataType() != DataType::float32) {
        throw ASRError::processingFailed(
            concat({"Unsupported decoder projection type: ", platform::ml::rawValue(projection.dataType())}));
    }
    std::size_t hiddenAxis = 0;
    if (shape[2] == projectionSize) {
        hiddenAxis = 2;
    } else if (shape[1] == projectionSize) {
        hiddenAxis = 1;
    } else {
        throw ASRError::processingFailed("Decoder projection hidden size mismatch: " + shapeText(shape));
    }
    if (shape[3 - hiddenAxis] != 1) {
        throw ASRError::processingFailed("Decoder projection time axis must be 1: " + shapeText(shape));
    }
    return hiddenAxis;
}

// Compared element by element: this runs before every joint step, and a temporary shape would allocate.
bool isDecoderStepShape(const MultiArray::Shape& shape) {
    return shape.size() == 3 && shape[0] == 1 && shape[1] == projectionSize && shape[2] == 1;
}

std::shared_ptr<MultiArray> preparedDestination(std::shared_ptr<MultiArray> destination) {
    if (destination == nullptr) {
        return ANEMemoryUtils::createAlignedArray({1, projectionSize, 1}, DataType::float32, true);
    }
    if (destination->dataType() != DataType::float32 || !isDecoderStepShape(destination->shape())) {
        throw ASRError::processingFailed("Prepared decoder step shape mismatch: " +
                                         dimensionsText(destination->shape()));
    }
    return destination;
}

} // namespace

TdtModelInference::TdtModelInference(std::shared_ptr<platform::ml::PredictionOptions> predictionOptions)
    : predictionOptions(std::move(predictionOptions)) {}

std::shared_ptr<const platform::ml::FeatureProvider>
TdtModelInference::predict(const platform::ml::Model& model, const platform::ml::FeatureProvider& input,
                           TdtStepBuffers::Backings& backings) const {
    const LentBackings lent(*predictionOptions, backings);
    return model.predict(input, *predictionOptions);
}

TdtJointDecision TdtModelInference::runJointPrepared(const EncoderFrameView& encoderFrames, int timeIndex,
                                                     const platform::ml::Model& model, TdtStepBuffers& buffers,
                                                     bool needsTopK) const {
    encoderFrames.copyFrame(timeIndex, buffers.encoderDestPtr, buffers.encoderDestStride);
    {
        const LentBackings lent(*predictionOptions, buffers.jointBackings);
        model.predictInto(buffers.jointInput, *predictionOptions, buffers.jointOutputs);
    }
    return readJointDecision(buffers.jointOutputs, needsTopK, buffers.topK);
}

TdtJointDecision TdtModelInference::readJointDecision(const platform::ml::FeatureProvider& output, bool needsTopK,
                                                      TdtStepBuffers::TopKLists& topK) {
    const auto tokenId = requiredOutput(output, "token_id");
    const auto tokenProb = requiredOutput(output, "token_prob");
    const auto duration = requiredOutput(output, "duration");
    if (tokenId->count() != 1 || tokenProb->count() != 1 || duration->count() != 1) {
        throw ASRError::processingFailed("Joint decision returned unexpected tensor shapes");
    }
    TdtJointDecision decision{
        .token = tokenId->at<std::int32_t>(0),
        .probability = tokenProb->at<float>(0),
        .durationIndex = duration->at<std::int32_t>(0),
        .topKIds = std::nullopt,
        .topKLogits = std::nullopt,
    };
    if (needsTopK) {
        readTopK(output, topK, decision);
    }
    return decision;
}

std::shared_ptr<MultiArray> TdtModelInference::normalizeDecoderProjection(const MultiArray& projection,
                                                                          std::shared_ptr<MultiArray> destination) {
    const std::size_t hiddenAxis = projectionHiddenAxis(projection);
    destination = preparedDestination(std::move(destination));
    const std::size_t destinationStride = destination->strides()[1];
    const std::size_t projectionStride = projection.strides()[hiddenAxis];
    if (!fitsInt32(destinationStride)) {
        throw ASRError::processingFailed("Decoder destination stride exceeds supported range");
    }
    if (!fitsInt32(projectionStride)) {
        throw ASRError::processingFailed("Decoder projection stride exceeds supported range");
    }
    platform::dsp::copy(projection.data<float>(), projectionStride, destination->data<float>(), destinationStride,
                        projectionSize);
    return destination;
}

} // namespace quorl
