#include "QuorlAudio/diarization/streaming/LSEENDInput.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::size_t size(int value) { return static_cast<std::size_t>(value); }

LSEENDState stateFor(const LSEENDMetadata& metadata, std::optional<LSEENDState>& given) {
    metadata.validate();
    if (given) {
        return std::move(*given);
    }
    return LSEENDState(metadata);
}

void copyInto(MultiArray& array, std::span<const float> values) {
    checkInputSize(values.size(), array.count());
    platform::dsp::copy(values.data(), array.data<float>(), values.size());
}

} // namespace

void checkInputSize(std::size_t given, std::size_t expected) {
    if (given != expected) {
        throw LSEENDError::invalidInputSize("Input size mismatch: new=" + std::to_string(given) +
                                            " expected=" + std::to_string(expected));
    }
}

LSEENDInput::LSEENDInput(const LSEENDMetadata& metadata, std::optional<LSEENDState> state)
    : state_(stateFor(metadata, state)),
      melFeatures_(std::make_shared<MultiArray>(MultiArray::Shape{1, size(metadata.melFrames()), size(metadata.nMels)},
                                                DataType::float32)),
      decoderMask_(std::make_shared<MultiArray>(MultiArray::Shape{size(metadata.chunkSize)}, DataType::float32)),
      outputProbs_(ANEMemoryUtils::createAlignedArray({1, size(metadata.chunkSize), size(metadata.maxSpeakers)},
                                                      DataType::float32, false)) {
    refreshOutputBackings();
}

std::set<std::string> LSEENDInput::featureNames() const {
    std::set<std::string> names{"features", "valid_mask"};
    names.insert(LSEENDState::inputNames().begin(), LSEENDState::inputNames().end());
    return names;
}

std::optional<platform::ml::FeatureValue> LSEENDInput::featureValue(const std::string& name) const {
    if (name == "features") {
        return platform::ml::FeatureValue(melFeatures_);
    }
    if (name == "valid_mask") {
        return platform::ml::FeatureValue(decoderMask_);
    }
    const auto& names = LSEENDState::inputNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
        return std::nullopt;
    }
    return platform::ml::FeatureValue(state_.arrays()[static_cast<std::size_t>(found - names.begin())]);
}

void LSEENDInput::setState(LSEENDState state) {
    state_ = std::move(state);
    refreshOutputBackings();
}

void LSEENDInput::resetState() { state_.reset(); }

void LSEENDInput::loadInputs(std::span<const float> melFeatures, std::span<const float> decoderMask,
                             std::optional<int> warmupFrames) {
    copyInto(*decoderMask_, decoderMask);
    copyInto(*melFeatures_, melFeatures);
    warmupFrames_ = warmupFrames.value_or(static_cast<int>(
        std::count_if(decoderMask.begin(), decoderMask.end(), [](float value) { return value == 0; })));
}

void LSEENDInput::refreshOutputBackings() {
    predictionOptions_.outputBackings.clear();
    predictionOptions_.outputBackings.emplace("probs", outputProbs_);
    const auto& names = LSEENDState::inputNames();
    for (std::size_t index = 0; index < names.size(); ++index) {
        predictionOptions_.outputBackings.emplace(std::string(names[index]) + "_new", state_.arrays()[index]);
    }
}

} // namespace quorl
