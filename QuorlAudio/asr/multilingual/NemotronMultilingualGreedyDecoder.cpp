#include "QuorlAudio/asr/multilingual/NemotronMultilingualGreedyDecoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/sys/Environment.hpp"

#include <algorithm>
#include <map>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Inputs = std::map<std::string, FeatureValue>;

constexpr std::size_t maxSymbolsPerFrame = 10;
constexpr double secondsPerFrame = 0.08;
constexpr const char* decoderFailure = "Decoder failed";
constexpr const char* noPathFailure = "No decode path: need a fused decoder_joint (B1/B3/B2) or bare decoder+joint";

std::shared_ptr<MultiArray> int32Array(const MultiArray::Shape& shape, std::int32_t value) {
    auto array = std::make_shared<MultiArray>(shape, DataType::int32);
    array->data<std::int32_t>()[0] = value;
    return array;
}

std::shared_ptr<const platform::ml::FeatureProvider>
predict(const platform::ml::Model& model, Inputs inputs,
        const std::optional<platform::ml::PredictionOptions>& options) {
    return model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)),
                         options.value_or(platform::ml::PredictionOptions{}));
}

std::shared_ptr<MultiArray> required(const platform::ml::FeatureProvider& outputs, const std::string& name,
                                     const char* failure) {
    auto array = platform::ml::multiArrayOutput(outputs, name);
    if (!array) {
        throw ASRError::processingFailed(failure);
    }
    return array;
}

bool hasFrames(const MultiArray& array, std::size_t dimension, std::size_t frames) {
    return array.shape().size() == 3 && array.shape()[dimension] >= frames;
}

std::string languageCode(const std::string& piece) {
    if (piece.size() >= 2 && piece.front() == '<' && piece.back() == '>') {
        return piece.substr(1, piece.size() - 2);
    }
    return piece;
}

} // namespace

struct NemotronMultilingualGreedyDecoder::FrameInputs {
    std::shared_ptr<MultiArray> encoderStep;
    std::shared_ptr<MultiArray> encoderProjStep;
};

// What differs between a symbol step of the per-frame route and one of a speculative hit frame's drain.
struct NemotronMultilingualGreedyDecoder::Flavour {
    std::size_t maxSymbols;
    bool reuseTokenBuffers;
    bool bareOptions;
    const char* noEncProjFailure;
    const char* argmaxFailure;
    const char* mergedFailure;
    const char* decoderFailure;
    const char* jointFailure;
};

std::vector<std::int64_t>
NemotronMultilingualGreedyDecoder::decodeChunk(const MultiArray& encoded, const MultiArray* encoderProj,
                                               NemotronMultilingualDecoderState& state) const {
    const std::size_t frames = encoded.shape().size() == 3 ? encoded.shape()[2] : 0;
    // A projected output that does not cover every frame cannot be read for all of them.
    const MultiArray* projected = encoderProj && hasFrames(*encoderProj, 1, frames) ? encoderProj : nullptr;
    std::vector<std::int64_t> emitted;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        decodeFrame(frame, encoded, projected, state, emitted);
    }
    return emitted;
}

void NemotronMultilingualGreedyDecoder::decodeFrame(std::size_t frame, const MultiArray& encoded,
                                                    const MultiArray* encoderProj,
                                                    NemotronMultilingualDecoderState& state,
                                                    std::vector<std::int64_t>& emitted) const {
    const Flavour perFrame{
        .maxSymbols = maxSymbolsPerFrame,
        .reuseTokenBuffers = !platform::sys::environmentValue("QUORLAUDIO_DISABLE_TOKEN_PREALLOC"),
        .bareOptions = true,
        .noEncProjFailure = "B3+B1 fused decoder_joint_noencproj failed",
        .argmaxFailure = "Triple-fused decoder_joint_argmax failed",
        .mergedFailure = "Fused decoder_joint failed",
        .decoderFailure = decoderFailure,
        .jointFailure = "Joint failed",
    };
    decodeSymbols(frame, frameInputs(frame, encoded, encoderProj), state, emitted, perFrame);
}

// The hit token counts as the frame's first symbol.
void NemotronMultilingualGreedyDecoder::drainFrame(std::size_t frame, const MultiArray& encoded,
                                                   const MultiArray& encoderProj,
                                                   NemotronMultilingualDecoderState& state,
                                                   std::vector<std::int64_t>& emitted) const {
    static constexpr Flavour drain{
        .maxSymbols = maxSymbolsPerFrame - 1,
        .reuseTokenBuffers = true,
        .bareOptions = false,
        .noEncProjFailure = "Drain B3+B1 failed",
        .argmaxFailure = "Drain B2 failed",
        .mergedFailure = "Drain B1 failed",
        .decoderFailure = "Drain decoder failed",
        .jointFailure = "Drain joint failed",
    };
    decodeSymbols(frame, frameInputs(frame, encoded, &encoderProj), state, emitted, drain);
}

void NemotronMultilingualGreedyDecoder::decodeSymbols(std::size_t frame, const FrameInputs& inputs,
                                                      NemotronMultilingualDecoderState& state,
                                                      std::vector<std::int64_t>& emitted,
                                                      const Flavour& flavour) const {
    for (std::size_t symbol = 0; symbol < flavour.maxSymbols; ++symbol) {
        const Step step = runSymbolStep(inputs, state, flavour);
        if (step.token == context_.config.blankIdx) {
            return;
        }
        emit(step, frame, state, emitted);
    }
}

NemotronMultilingualGreedyDecoder::FrameInputs
NemotronMultilingualGreedyDecoder::frameInputs(std::size_t frame, const MultiArray& encoded,
                                               const MultiArray* encoderProj) const {
    const auto& buffers = context_.buffers;
    FrameInputs inputs;
    if (buffers.encoderStep && buffers.encoderStep->count() == encoded.shape()[1]) {
        fillEncoderStep(*buffers.encoderStep, encoded, frame);
        inputs.encoderStep = buffers.encoderStep;
    } else {
        inputs.encoderStep = extractEncoderStep(encoded, frame);
    }
    if (!encoderProj || !context_.models.decoderJointNoEncProj) {
        return inputs;
    }
    if (buffers.encoderProjStep && buffers.encoderProjStep->count() == encoderProj->shape()[2]) {
        fillEncoderProjStep(*buffers.encoderProjStep, *encoderProj, frame);
        inputs.encoderProjStep = buffers.encoderProjStep;
    } else {
        inputs.encoderProjStep = extractEncoderProjStep(*encoderProj, frame);
    }
    return inputs;
}

std::map<std::string, FeatureValue>
NemotronMultilingualGreedyDecoder::tokenFeatures(const NemotronMultilingualDecoderState& state,
                                                 bool reuseTokenBuffers) const {
    const auto& buffers = context_.buffers;
    std::shared_ptr<MultiArray> token;
    if (reuseTokenBuffers && buffers.tokenInput) {
        buffers.tokenInput->at<std::int32_t>(0) = state.token;
        token = buffers.tokenInput;
    } else {
        token = int32Array({1, 1}, state.token);
    }
    const bool reuseLength = reuseTokenBuffers && buffers.tokenLength;
    return {
        {"token", FeatureValue(token)},
        {"token_length", FeatureValue(reuseLength ? buffers.tokenLength : int32Array({1}, 1))},
        {"h_in", FeatureValue(state.h)},
        {"c_in", FeatureValue(state.c)},
    };
}

NemotronMultilingualGreedyDecoder::Step NemotronMultilingualGreedyDecoder::runSymbolStep(
    const FrameInputs& inputs, const NemotronMultilingualDecoderState& state, const Flavour& flavour) const {
    const auto& models = context_.models;
    Inputs features = tokenFeatures(state, flavour.reuseTokenBuffers);
    if (models.decoderJointNoEncProj && inputs.encoderProjStep) {
        features.emplace("encoder_proj", FeatureValue(inputs.encoderProjStep));
        return scoresStep(
            *predict(*models.decoderJointNoEncProj, std::move(features), models.decoderJointNoEncProjPredictionOptions),
            flavour.noEncProjFailure);
    }
    features.emplace("encoder", FeatureValue(inputs.encoderStep));
    if (models.decoderJointArgmax) {
        const auto outputs =
            predict(*models.decoderJointArgmax, std::move(features), models.decoderJointArgmaxPredictionOptions);
        const auto tokenId = required(*outputs, "token_id", flavour.argmaxFailure);
        if (tokenId->count() == 0) {
            throw ASRError::processingFailed(flavour.argmaxFailure);
        }
        return {checkedToken(static_cast<std::int64_t>(tokenId->value(0)), flavour.argmaxFailure),
                required(*outputs, "h_out", flavour.argmaxFailure), required(*outputs, "c_out", flavour.argmaxFailure)};
    }
    if (models.decoderJoint) {
        return scoresStep(*predict(*models.decoderJoint, std::move(features), models.decoderJointPredictionOptions),
                          flavour.mergedFailure);
    }
    if (models.decoder && models.joint) {
        return runBare(std::move(features), flavour);
    }
    throw ASRError::processingFailed(noPathFailure);
}

NemotronMultilingualGreedyDecoder::Step
NemotronMultilingualGreedyDecoder::scoresStep(const platform::ml::FeatureProvider& outputs, const char* failure) const {
    const auto logits = required(outputs, "logits", failure);
    return {checkedToken(static_cast<std::int64_t>(findMaxIndex(*logits)), failure),
            required(outputs, "h_out", failure), required(outputs, "c_out", failure)};
}

// The joint is fed the same encoder step the features already hold.
NemotronMultilingualGreedyDecoder::Step NemotronMultilingualGreedyDecoder::runBare(Inputs features,
                                                                                   const Flavour& flavour) const {
    const auto& models = context_.models;
    const FeatureValue encoderStep = features.at("encoder");
    features.erase("encoder");
    const auto decoded = predict(*models.decoder, std::move(features),
                                 flavour.bareOptions ? models.decoderPredictionOptions : std::nullopt);
    const auto decoderOut = required(*decoded, "decoder_out", flavour.decoderFailure);
    auto h = required(*decoded, "h_out", flavour.decoderFailure);
    auto c = required(*decoded, "c_out", flavour.decoderFailure);
    const auto joined =
        predict(*models.joint, {{"encoder", encoderStep}, {"decoder", FeatureValue(sliceDecoderOutput(*decoderOut))}},
                flavour.bareOptions ? models.jointPredictionOptions : std::nullopt);
    const auto logits = required(*joined, "logits", flavour.jointFailure);
    return {checkedToken(static_cast<std::int64_t>(findMaxIndex(*logits)), flavour.jointFailure), std::move(h),
            std::move(c)};
}

// A token the vocabulary cannot hold would index past the pieces and the state of later steps.
std::int64_t NemotronMultilingualGreedyDecoder::checkedToken(std::int64_t token, const char* failure) const {
    const auto& config = context_.config;
    if (token < 0 || token > std::max(config.vocabSize - 1, config.blankIdx)) {
        throw ASRError::processingFailed(failure);
    }
    return token;
}

void NemotronMultilingualGreedyDecoder::emitToken(std::int64_t token, const NemotronMultilingualDecoderState& chosenBy,
                                                  std::size_t frame, NemotronMultilingualDecoderState& state,
                                                  std::vector<std::int64_t>& emitted, const char* failure) const {
    emit({checkedToken(token, failure), chosenBy.h, chosenBy.c}, frame, state, emitted);
}

void NemotronMultilingualGreedyDecoder::emit(const Step& step, std::size_t frame,
                                             NemotronMultilingualDecoderState& state,
                                             std::vector<std::int64_t>& emitted) const {
    emitted.push_back(step.token);
    transcript_.tokenIds.push_back(step.token);
    appendTokenTiming(step.token, frame);
    state.token = static_cast<std::int32_t>(step.token);
    state.h = step.h;
    state.c = step.c;
    if (!context_.config.langTagTokenIds.contains(step.token)) {
        return;
    }
    if (const auto piece = StreamingNemotronMultilingualAsrManager::tokenizerPiece(step.token, context_.tokenizer)) {
        transcript_.recordDetectedLanguage(languageCode(*piece));
    }
}

void NemotronMultilingualGreedyDecoder::appendTokenTiming(std::int64_t token, std::size_t frameInChunk) const {
    if (context_.config.langTagTokenIds.contains(token)) {
        return;
    }
    const double start =
        static_cast<double>(transcript_.absoluteFrameBase + static_cast<std::int64_t>(frameInChunk)) * secondsPerFrame;
    transcript_.tokenTimings.push_back({
        .token = context_.tokenizer.rawToken(token).value_or(""),
        .tokenId = static_cast<int>(token),
        .startTime = start,
        .endTime = start + secondsPerFrame,
        .confidence = 1.0F,
    });
}

// Step arrays

void NemotronMultilingualGreedyDecoder::fillEncoderStep(MultiArray& into, const MultiArray& from, std::size_t t) {
    const float* source = from.data<float>();
    float* destination = into.data<float>();
    const auto& strides = from.strides();
    for (std::size_t i = 0; i < from.shape()[1]; ++i) {
        destination[i] = source[i * strides[1] + t * strides[2]];
    }
}

std::shared_ptr<MultiArray> NemotronMultilingualGreedyDecoder::extractEncoderStep(const MultiArray& from,
                                                                                  std::size_t t) {
    auto step = std::make_shared<MultiArray>(MultiArray::Shape{1, from.shape()[1], 1}, DataType::float32);
    fillEncoderStep(*step, from, t);
    return step;
}

void NemotronMultilingualGreedyDecoder::fillEncoderProjStep(MultiArray& into, const MultiArray& from, std::size_t t) {
    const float* source = from.data<float>();
    float* destination = into.data<float>();
    const auto& strides = from.strides();
    for (std::size_t i = 0; i < from.shape()[2]; ++i) {
        destination[i] = source[t * strides[1] + i * strides[2]];
    }
}

std::shared_ptr<MultiArray> NemotronMultilingualGreedyDecoder::extractEncoderProjStep(const MultiArray& from,
                                                                                      std::size_t t) {
    auto step = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, from.shape()[2]}, DataType::float32);
    fillEncoderProjStep(*step, from, t);
    return step;
}

std::shared_ptr<MultiArray> NemotronMultilingualGreedyDecoder::sliceDecoderOutput(const MultiArray& output) {
    if (output.shape().size() != 3 || output.shape()[2] == 0) {
        throw ASRError::processingFailed(decoderFailure);
    }
    auto slice = std::make_shared<MultiArray>(MultiArray::Shape{1, output.shape()[1], 1}, DataType::float32);
    fillEncoderStep(*slice, output, 0);
    return slice;
}

std::size_t NemotronMultilingualGreedyDecoder::findMaxIndex(const MultiArray& scores) {
    if (scores.dataType() == DataType::float32 && scores.strides() == platform::ml::denseStrides(scores.shape())) {
        return platform::dsp::maxWithIndex(scores.data<float>(), scores.count()).index;
    }
    const std::vector<float> values = platform::ml::floatElements(scores);
    return platform::dsp::maxWithIndex(values.data(), values.size()).index;
}

} // namespace quorl
