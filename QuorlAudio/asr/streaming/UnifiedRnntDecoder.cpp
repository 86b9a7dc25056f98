#include "QuorlAudio/asr/streaming/UnifiedRnntDecoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/TimeColumn.hpp"
#include "QuorlAudio/asr/streaming/UnifiedDecoderFeatureProvider.hpp"
#include "QuorlAudio/asr/streaming/UnifiedJointDecisionFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::shared_ptr<MultiArray> int32Array(MultiArray::Shape shape, std::int64_t value) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

} // namespace

UnifiedRnntDecoder::UnifiedRnntDecoder(std::shared_ptr<platform::ml::Model> decoderModel,
                                       std::shared_ptr<platform::ml::Model> jointDecisionModel, UnifiedConfig config)
    : decoderModel_(std::move(decoderModel)), jointDecisionModel_(std::move(jointDecisionModel)), config_(config),
      state_(zeroState()), lastToken_(static_cast<std::int32_t>(config.blankIdx)) {}

void UnifiedRnntDecoder::reset() {
    state_ = zeroState();
    lastToken_ = static_cast<std::int32_t>(config_.blankIdx);
}

std::vector<UnifiedRnntDecoder::Emission> UnifiedRnntDecoder::decode(const MultiArray& encoded, FrameRange frameRange,
                                                                     std::int64_t globalFrameOffset) {
    std::vector<Emission> emissions;
    RecurrentState before = state_;
    DecoderStep step = runDecoder(lastToken_, before);
    std::int64_t token = lastToken_;
    for (std::int64_t t = frameRange.begin; t < frameRange.end; ++t) {
        const auto encoderStep = timeColumn(encoded, static_cast<std::size_t>(t));
        // A frame that keeps answering tokens is left after the limit, without a blank.
        for (std::int64_t symbol = 0; symbol < config_.maxSymbolsPerFrame; ++symbol) {
            const auto choice = jointDecision(encoderStep, step.decoderOutput);
            if (choice.token == config_.blankIdx) {
                break;
            }
            emissions.push_back({.token = choice.token, .frame = t + globalFrameOffset, .prob = choice.prob});
            before = std::move(step.after);
            step = runDecoder(choice.token, before);
            token = choice.token;
        }
    }
    lastToken_ = static_cast<std::int32_t>(token);
    state_ = std::move(before);
    return emissions;
}

UnifiedRnntDecoder::DecoderStep UnifiedRnntDecoder::runDecoder(std::int64_t token, const RecurrentState& state) const {
    const auto result = decoderModel_->predict(UnifiedDecoderFeatureProvider({
        .hIn = state.h,
        .cIn = state.c,
        .targets = int32Array({1, 1}, token),
        .targetLength = int32Array({1}, 1),
    }));
    auto decoderOutput = platform::ml::multiArrayOutput(*result, "decoder");
    auto h = platform::ml::multiArrayOutput(*result, "h_out");
    auto c = platform::ml::multiArrayOutput(*result, "c_out");
    if (!decoderOutput || !h || !c) {
        throw ASRError::processingFailed("Unified decoder failed");
    }
    return {.decoderOutput = std::move(decoderOutput), .after = {.h = std::move(h), .c = std::move(c)}};
}

UnifiedRnntDecoder::JointChoice
UnifiedRnntDecoder::jointDecision(const std::shared_ptr<MultiArray>& encoderStep,
                                  const std::shared_ptr<MultiArray>& decoderOutput) const {
    const auto result = jointDecisionModel_->predict(UnifiedJointDecisionFeatureProvider(encoderStep, decoderOutput));
    const auto tokenId = platform::ml::multiArrayOutput(*result, "token_id");
    if (!tokenId || tokenId->count() == 0) {
        throw ASRError::processingFailed("Unified joint decision missing token_id");
    }
    const auto tokenProb = platform::ml::multiArrayOutput(*result, "token_prob");
    return {
        .token = static_cast<std::int32_t>(tokenId->value(0)),
        .prob = tokenProb && tokenProb->count() > 0 ? static_cast<float>(tokenProb->value(0)) : 0.0f,
    };
}

UnifiedRnntDecoder::RecurrentState UnifiedRnntDecoder::zeroState() const {
    const MultiArray::Shape shape{static_cast<std::size_t>(config_.decoderLayers), 1,
                                  static_cast<std::size_t>(config_.decoderHidden)};
    return {.h = std::make_shared<MultiArray>(shape, DataType::float32),
            .c = std::make_shared<MultiArray>(shape, DataType::float32)};
}

} // namespace quorl
