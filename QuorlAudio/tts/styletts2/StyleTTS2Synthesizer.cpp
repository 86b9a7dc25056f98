#include "QuorlAudio/tts/styletts2/StyleTTS2Synthesizer.hpp"

#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2GlueOps.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2MultiArray.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2NoiseSource.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2StagePrediction.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <climits>
#include <string>

namespace quorl {
namespace {

namespace arrays = StyleTTS2MultiArray;
namespace glue = StyleTTS2GlueOps;
namespace prediction = StyleTTS2StagePrediction;
using platform::core::concatenated;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr auto melBands = static_cast<std::size_t>(StyleTTS2Constants::melNMels);
constexpr auto styleDim = static_cast<std::size_t>(StyleTTS2Constants::styleDim);
constexpr auto styleHalf = static_cast<std::size_t>(StyleTTS2Constants::refSplit);
constexpr std::size_t noiseBlock = 256;
constexpr std::size_t auxiliaryNoiseBlocks = 4;
constexpr std::size_t decoderChannels = 512;

std::string shapeText(const MultiArray& array) { return platform::text::bracketedList(arrays::shape(array)); }

FeatureValue floats(std::span<const float> values, const std::vector<std::size_t>& shape) {
    return arrays::makeFloat32(values, shape);
}

FeatureValue int32s(std::span<const std::int32_t> values, const std::vector<std::size_t>& shape) {
    return arrays::makeInt32(values, shape);
}

// The channels of an output laid out [C][length]: refused unless its size is a positive multiple of length.
std::size_t channelsOf(const MultiArray& array, std::size_t length, const std::string& stage) {
    if (array.count() == 0 || array.count() % length != 0) {
        throw StyleTTS2Error::invalidTensorShape(stage, concatenated({"[1, C, ", std::to_string(length), "]"}),
                                                 shapeText(array));
    }
    return array.count() / length;
}

void requireCount(const MultiArray& array, std::size_t count, const std::string& stage, const std::string& expected) {
    if (array.count() != count) {
        throw StyleTTS2Error::invalidTensorShape(stage, expected, shapeText(array));
    }
}

// features [channels][realN] spread over the frames of each token, then shifted one frame for the vocoder.
std::vector<float> framewise(std::span<const float> features, std::size_t channels, const glue::Alignment& alignment) {
    const std::size_t tokens = features.size() / channels;
    auto expanded =
        glue::matmulAligned({features, channels, tokens}, {alignment.matrix, tokens, alignment.totalFrames});
    if (!StyleTTS2Constants::applyHifiganAsrShift) {
        return expanded;
    }
    return glue::hifiganShift({expanded, channels, alignment.totalFrames});
}

// The token length of the BERT and sampler models for realN tokens: the default 57 or the smallest bucket.
std::size_t paddedLength(std::size_t realN) {
    if (realN <= static_cast<std::size_t>(StyleTTS2Constants::defaultBertTokens)) {
        return StyleTTS2Constants::defaultBertTokens;
    }
    if (realN > static_cast<std::size_t>(StyleTTS2Constants::largestBucket)) {
        throw StyleTTS2Error::noBucketAvailable(static_cast<int>(std::min<std::size_t>(realN, INT_MAX)));
    }
    return static_cast<std::size_t>(StyleTTS2ModelStore::resolveBucket(static_cast<int>(realN)));
}

} // namespace

struct StyleTTS2Synthesizer::Chunk {
    std::span<const std::int32_t> tokenIds;
    std::size_t realN;
    // The token length of the BERT and sampler models chosen for realN.
    std::size_t paddedT;
};

struct StyleTTS2Synthesizer::BertOutputs {
    // [paddedT][bertChannels], the sampler's embedding.
    std::vector<float> bertDur;
    std::size_t bertChannels;
    // [dEnChannels][realN], cut to the real tokens.
    std::vector<float> dEn;
    std::size_t dEnChannels;
};

struct StyleTTS2Synthesizer::DurationOutputs {
    // [realN][channels]
    std::vector<float> d;
    std::size_t channels;
    std::vector<std::int64_t> durations;
};

struct StyleTTS2Synthesizer::SourceOutputs {
    std::vector<float> f0;
    std::vector<float> n;
    std::vector<float> har;
};

StyleTTS2Synthesizer::StyleTTS2Synthesizer(StyleTTS2ModelStore& store) : store_(store) {}

std::vector<float> StyleTTS2Synthesizer::synthesize(const Request& request) const {
    const std::size_t realN = request.tokenIds.size();
    if (realN == 0) {
        throw StyleTTS2Error::invalidTensorShape("tokens", "[1, N] with N >= 1", "[1, 0]");
    }
    const auto paddedT = paddedLength(realN);
    if (request.referenceMelFrames < 1 ||
        request.referenceMel.size() != melBands * static_cast<std::size_t>(request.referenceMelFrames)) {
        throw StyleTTS2Error::invalidTensorShape(
            "ref_encoder.mel", concatenated({"80 x ", std::to_string(request.referenceMelFrames), " values"}),
            std::to_string(request.referenceMel.size()) + " values");
    }
    const Chunk chunk{.tokenIds = request.tokenIds, .realN = realN, .paddedT = paddedT};

    const auto tEnc = runTextEncoder(chunk);
    const auto bert = runBert(chunk);
    const auto refS = runRefEncoder(request.referenceMel, request.referenceMelFrames);
    const auto sPred = runFusedSampler(chunk, bert, refS, request.noiseSeed);
    const auto style = glue::blendStyle(sPred, refS, request.alpha, request.beta);
    const auto duration = runDurationPredictor(chunk, bert, style.s128);
    const auto alignment = glue::buildAlignmentMatrix(duration.durations);
    const std::size_t frames = alignment.totalFrames;
    logger_.info(concatenated(
        {"StyleTTS2 alignment: ", std::to_string(realN), " tokens \u2192 ", std::to_string(frames), " frames"}));

    const auto en =
        framewise(glue::transposeLast2D({duration.d, realN, duration.channels}), duration.channels, alignment);
    const std::size_t textChannels = tEnc.size() / realN;
    const auto asr = framewise(tEnc, textChannels, alignment);
    const auto source = runFusedF0nHarSource(en, duration.channels, frames, style.s128);
    const auto xPre = runDecoderPre(asr, textChannels, frames, source, style.ref128);
    auto audio = runDecoderUpsample(xPre, 2 * frames, style.ref128, source.har);
    audio.resize(audio.size() - std::min(audio.size(), static_cast<std::size_t>(StyleTTS2Constants::tailTrimSamples)));
    return audio;
}

std::vector<float> StyleTTS2Synthesizer::runTextEncoder(const Chunk& chunk) const {
    const auto model = store_.textEncoder();
    const std::int32_t length = static_cast<std::int32_t>(chunk.realN);
    const std::vector<float> mask(chunk.realN, 0.0F);
    const auto outputs = prediction::predict(*model,
                                             {{"tokens", int32s(chunk.tokenIds, {1, chunk.realN})},
                                              {"input_lengths", int32s(std::span(&length, 1), {1})},
                                              {"text_mask", floats(mask, {1, chunk.realN})}},
                                             "text_encoder");
    const auto tEnc = prediction::singleOutput(*model, *outputs, "text_encoder");
    channelsOf(*tEnc, chunk.realN, "text_encoder");
    return arrays::extractFloats(*tEnc);
}

StyleTTS2Synthesizer::BertOutputs StyleTTS2Synthesizer::runBert(const Chunk& chunk) const {
    const auto model = store_.bert(static_cast<int>(chunk.realN));
    std::vector<std::int32_t> tokens(chunk.paddedT, 0);
    std::ranges::copy(chunk.tokenIds, tokens.begin());
    std::vector<std::int32_t> mask(chunk.paddedT, 0);
    std::fill_n(mask.begin(), chunk.realN, 1);
    const auto outputs = prediction::predict(
        *model, {{"tokens", int32s(tokens, {1, chunk.paddedT})}, {"attention_mask", int32s(mask, {1, chunk.paddedT})}},
        "bert");
    const auto arrays = prediction::orderedOutputArrays(*model, *outputs, "bert", 2);
    const auto& dEnShape = arrays[1]->shape();
    if (dEnShape.size() != 3 || dEnShape[0] == 0 || dEnShape[1] == 0 || dEnShape[2] != chunk.paddedT) {
        throw StyleTTS2Error::invalidTensorShape(
            "bert.d_en", concatenated({"[1, C, ", std::to_string(chunk.paddedT), "]"}), shapeText(*arrays[1]));
    }
    BertOutputs bert{.bertDur = arrays::extractFloats(*arrays[0]),
                     .bertChannels = channelsOf(*arrays[0], chunk.paddedT, "bert"),
                     .dEn = std::vector<float>(dEnShape[1] * chunk.realN),
                     .dEnChannels = dEnShape[1]};
    const auto source = arrays::extractFloats(*arrays[1]);
    for (std::size_t channel = 0; channel < bert.dEnChannels; ++channel) {
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(channel * chunk.paddedT), chunk.realN,
                    bert.dEn.begin() + static_cast<std::ptrdiff_t>(channel * chunk.realN));
    }
    return bert;
}

std::vector<float> StyleTTS2Synthesizer::runRefEncoder(std::span<const float> mel, int frames) const {
    const auto model = store_.refEncoder();
    const auto outputs = prediction::predict(
        *model, {{"mel", floats(mel, {1, 1, melBands, static_cast<std::size_t>(frames)})}}, "ref_encoder");
    const auto refS = prediction::singleOutput(*model, *outputs, "ref_encoder");
    requireCount(*refS, styleDim, "ref_encoder", "[1, 256]");
    return arrays::extractFloats(*refS);
}

std::vector<float> StyleTTS2Synthesizer::runFusedSampler(const Chunk& chunk, const BertOutputs& bert,
                                                         std::span<const float> refS, std::uint64_t noiseSeed) const {
    const auto model = store_.sampler(static_cast<int>(chunk.realN));
    StyleTTS2NoiseSource noise(noiseSeed);
    const auto noiseInit = noise.nextGaussianArray(noiseBlock);
    const auto noisesAux = noise.nextGaussianArray(auxiliaryNoiseBlocks * noiseBlock);
    const auto outputs =
        prediction::predict(*model,
                            {{"noise_init", floats(noiseInit, {1, 1, noiseBlock})},
                             {"noises_aux", floats(noisesAux, {auxiliaryNoiseBlocks, 1, 1, noiseBlock})},
                             {"embedding", floats(bert.bertDur, {1, chunk.paddedT, bert.bertChannels})},
                             {"features", floats(refS, {1, styleDim})}},
                            "fused_diffusion_sampler");
    const auto sPred = prediction::singleOutput(*model, *outputs, "fused_diffusion_sampler");
    requireCount(*sPred, styleDim, "fused_diffusion_sampler", "[1, 256]");
    return arrays::extractFloats(*sPred);
}

StyleTTS2Synthesizer::DurationOutputs StyleTTS2Synthesizer::runDurationPredictor(const Chunk& chunk,
                                                                                 const BertOutputs& bert,
                                                                                 std::span<const float> s128) const {
    const auto model = store_.durationPredictor();
    const std::vector<float> mask(chunk.realN, 0.0F);
    const auto outputs = prediction::predict(*model,
                                             {{"d_en", floats(bert.dEn, {1, bert.dEnChannels, chunk.realN})},
                                              {"s", floats(s128, {1, styleHalf})},
                                              {"text_mask", floats(mask, {1, chunk.realN})}},
                                             "duration_predictor");
    const auto arrays = prediction::orderedOutputArrays(*model, *outputs, "duration_predictor", 2);
    DurationOutputs duration{.d = arrays::extractFloats(*arrays[0]),
                             .channels = channelsOf(*arrays[0], chunk.realN, "duration_predictor"),
                             .durations = glue::roundDurations(*arrays[1])};
    if (duration.durations.size() != chunk.realN) {
        throw StyleTTS2Error::invalidTensorShape(
            "duration_logits", concatenated({"[1, ", std::to_string(chunk.realN), ", C]"}), shapeText(*arrays[1]));
    }
    return duration;
}

StyleTTS2Synthesizer::SourceOutputs StyleTTS2Synthesizer::runFusedF0nHarSource(std::span<const float> en,
                                                                               std::size_t enChannels,
                                                                               std::size_t totalFrames,
                                                                               std::span<const float> s128) const {
    const auto model = store_.fusedF0nHarSource();
    const auto outputs = prediction::predict(
        *model, {{"en", floats(en, {1, enChannels, totalFrames})}, {"s", floats(s128, {1, styleHalf})}},
        "fused_f0n_har_source");
    const auto arrays = prediction::orderedOutputArrays(*model, *outputs, "fused_f0n_har_source", 3);
    return {.f0 = arrays::extractFloats(*arrays[0]),
            .n = arrays::extractFloats(*arrays[1]),
            .har = arrays::extractFloats(*arrays[2])};
}

std::vector<float> StyleTTS2Synthesizer::runDecoderPre(std::span<const float> asr, std::size_t asrChannels,
                                                       std::size_t totalFrames, const SourceOutputs& source,
                                                       std::span<const float> ref) const {
    const auto model = store_.decoderPre();
    const auto outputs = prediction::predict(*model,
                                             {{"asr", floats(asr, {1, asrChannels, totalFrames})},
                                              {"f0_pred", floats(source.f0, {1, source.f0.size()})},
                                              {"n_pred", floats(source.n, {1, source.n.size()})},
                                              {"ref", floats(ref, {1, styleHalf})}},
                                             "decoder_pre");
    const auto xPre = prediction::singleOutput(*model, *outputs, "decoder_pre");
    requireCount(*xPre, decoderChannels * 2 * totalFrames, "decoder_pre",
                 concatenated({"[1, 512, ", std::to_string(2 * totalFrames), "]"}));
    return arrays::extractFloats(*xPre);
}

std::vector<float> StyleTTS2Synthesizer::runDecoderUpsample(std::span<const float> xPre, std::size_t xPreFrames,
                                                            std::span<const float> ref,
                                                            std::span<const float> harSource) const {
    const auto model = store_.decoderUpsample();
    const auto outputs = prediction::predict(*model,
                                             {{"x_pre", floats(xPre, {1, decoderChannels, xPreFrames})},
                                              {"ref", floats(ref, {1, styleHalf})},
                                              {"har_source", floats(harSource, {1, 1, harSource.size()})}},
                                             "decoder_upsample");
    return arrays::extractFloats(*prediction::singleOutput(*model, *outputs, "decoder_upsample"));
}

} // namespace quorl
