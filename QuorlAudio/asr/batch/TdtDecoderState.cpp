#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorl {

namespace {

std::shared_ptr<platform::ml::MultiArray> makeRecurrentArray(int decoderLayers) {
    if (decoderLayers < 0) {
        throw ANEMemoryUtils::ANEMemoryError::invalidShape();
    }
    const std::vector<std::size_t> shape{static_cast<std::size_t>(decoderLayers), 1,
                                         static_cast<std::size_t>(ASRConstants::decoderHiddenSize)};
    auto array = ANEMemoryUtils::createAlignedArray(shape, platform::ml::DataType::float32, true);
    reset(*array, 0);
    return array;
}

std::shared_ptr<platform::ml::MultiArray> arrayNamed(const platform::ml::FeatureProvider& provider,
                                                     const std::string& name) {
    const auto value = provider.featureValue(name);
    return value ? value->multiArrayValue() : nullptr;
}

} // namespace

TdtDecoderState::TdtDecoderState(int decoderLayers)
    : hiddenState(makeRecurrentArray(decoderLayers)), cellState(makeRecurrentArray(decoderLayers)) {}

TdtDecoderState TdtDecoderState::make(int decoderLayers) {
    try {
        return TdtDecoderState(decoderLayers);
    } catch (const ANEMemoryUtils::ANEMemoryError& error) {
        throw ASRError::processingFailed(std::string("Failed to allocate decoder state: ") + error.what());
    }
}

void TdtDecoderState::reset() {
    quorl::reset(*hiddenState, 0);
    quorl::reset(*cellState, 0);
    lastToken.reset();
    predictorOutput.reset();
    timeJump.reset();
}

void TdtDecoderState::update(const platform::ml::FeatureProvider& decoderOutput) {
    if (auto hidden = arrayNamed(decoderOutput, "h_out")) {
        hiddenState = std::move(hidden);
    }
    if (auto cell = arrayNamed(decoderOutput, "c_out")) {
        cellState = std::move(cell);
    }
}

} // namespace quorl
