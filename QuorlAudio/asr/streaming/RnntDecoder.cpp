#include "QuorlAudio/asr/streaming/RnntDecoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/RnntDecoderError.hpp"
#include "QuorlAudio/asr/streaming/TimeColumn.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FeatureProvider;
using platform::ml::MultiArray;

std::shared_ptr<MultiArray> zeroState() {
    return std::make_shared<MultiArray>(MultiArray::Shape{RnntDecoder::layers, 1, RnntDecoder::hiddenSize},
                                        DataType::float32);
}

std::shared_ptr<MultiArray> requiredOutput(const FeatureProvider& output, const std::string& name) {
    const auto value = output.featureValue(name);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr) {
        throw RnntDecoderError::missingOutput(name);
    }
    return array;
}

std::int64_t tokenOf(const FeatureProvider& output) {
    return static_cast<std::int64_t>(requiredOutput(output, "token_id")->value(0));
}

void checkEncoderOutput(const MultiArray& encoderOutput) {
    if (encoderOutput.shape().size() != 3 || encoderOutput.dataType() != DataType::float32) {
        throw ASRError::processingFailed("Encoder output must be a three-dimensional Float32 array");
    }
}

// The prediction output at its last time position when it holds several.
std::shared_ptr<MultiArray> lastPrediction(std::shared_ptr<MultiArray> prediction) {
    const auto& shape = prediction->shape();
    if (shape.size() == 3 && shape[2] >= 2 && prediction->dataType() == DataType::float32) {
        return timeColumn(*prediction, shape[2] - 1);
    }
    return prediction;
}

} // namespace

RnntDecoder::RnntDecoder(std::shared_ptr<platform::ml::Model> decoderModel,
                         std::shared_ptr<platform::ml::Model> jointModel,
                         std::shared_ptr<platform::ml::Model> fusedModel)
    : decoderModel_(std::move(decoderModel)), jointModel_(std::move(jointModel)), fusedModel_(std::move(fusedModel)),
      hState_(zeroState()), cState_(zeroState()) {}

void RnntDecoder::resetState() {
    hState_ = zeroState();
    cState_ = zeroState();
    lastToken_ = blankId;
}

RnntDecoder::DecodeResult RnntDecoder::decodeWithEOU(const MultiArray& encoderOutput, int /*timeOffset*/,
                                                     int skipFrames, std::optional<int> validOutLen) {
    checkEncoderOutput(encoderOutput);
    const int frames = static_cast<int>(encoderOutput.shape()[2]);
    const int end = validOutLen ? std::min(frames, *validOutLen) : frames;
    DecodeResult result;
    for (int t = std::max(skipFrames, 0); t < end; ++t) {
        if (decodeFrame(timeColumn(encoderOutput, static_cast<std::size_t>(t)), t, result)) {
            result.eouDetected = true;
            break;
        }
    }
    return result;
}

bool RnntDecoder::decodeFrame(const std::shared_ptr<MultiArray>& frame, int frameIndex, DecodeResult& result) {
    for (int symbol = 0; symbol < maxSymbolsPerStep; ++symbol) {
        Step next = step(frame);
        if (next.token == eouId) {
            return true;
        }
        if (next.token == blankId) {
            return false;
        }
        result.tokenIds.push_back(next.token);
        result.tokenFrames.push_back(frameIndex);
        lastToken_ = static_cast<std::int32_t>(next.token);
        hState_ = std::move(next.h);
        cState_ = std::move(next.c);
    }
    return false;
}

RnntDecoder::Step RnntDecoder::step(const std::shared_ptr<MultiArray>& frame) const {
    return fusedModel_ ? fusedStep(frame) : referenceStep(frame);
}

RnntDecoder::Step RnntDecoder::referenceStep(const std::shared_ptr<MultiArray>& frame) const {
    auto targetLength = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    targetLength->data<std::int32_t>()[0] = 1;
    const auto prediction = decoderModel_->predict(DictionaryFeatureProvider({
        {"targets", targets()},
        {"target_length", targetLength},
        {"h_in", hState_},
        {"c_in", cState_},
    }));
    const auto decoderStep = lastPrediction(requiredOutput(*prediction, "decoder"));
    const auto joint = jointModel_->predict(DictionaryFeatureProvider({
        {"encoder_step", frame},
        {"decoder_step", decoderStep},
    }));
    return stepFrom(*joint, *prediction);
}

RnntDecoder::Step RnntDecoder::fusedStep(const std::shared_ptr<MultiArray>& frame) const {
    const auto output = fusedModel_->predict(DictionaryFeatureProvider({
        {"targets", targets()},
        {"h_in", hState_},
        {"c_in", cState_},
        {"encoder_step", frame},
    }));
    return stepFrom(*output, *output);
}

RnntDecoder::Step RnntDecoder::stepFrom(const FeatureProvider& tokenOutput, const FeatureProvider& stateOutput) {
    const std::int64_t token = tokenOf(tokenOutput);
    auto h = requiredOutput(stateOutput, "h_out");
    auto c = requiredOutput(stateOutput, "c_out");
    return {.token = token, .h = std::move(h), .c = std::move(c)};
}

std::shared_ptr<MultiArray> RnntDecoder::targets() const {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::int32);
    array->data<std::int32_t>()[0] = lastToken_;
    return array;
}

} // namespace quorl
