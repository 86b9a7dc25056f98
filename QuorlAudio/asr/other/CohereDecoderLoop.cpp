#include "QuorlAudio/asr/other/CohereDecoderLoop.hpp"

#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"
#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/asr/other/CohereAttentionMasks.hpp"
#include "QuorlAudio/asr/other/CohereScoreRules.hpp"

#include "platform/dsp/Vector.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Config = CohereAsrConfig;

std::shared_ptr<MultiArray> int32Token(int value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::int32);
    array->at<std::int32_t>(0) = value;
    return array;
}

int sequenceLength(const MultiArray& hiddenStates) {
    return hiddenStates.shape().size() >= 2 ? static_cast<int>(hiddenStates.shape()[1]) : 0;
}

// Fed tokens in one run: the prompt plus maxNewTokens, within what the caches hold. A negative token limit
// large enough to go below the prompt gives no run at all instead of one that never reaches its limit.
int lengthLimit(int maxNewTokens, std::size_t promptLength) {
    const long long limit = static_cast<long long>(promptLength) + maxNewTokens;
    return static_cast<int>(std::clamp<long long>(limit, 0, Config::maxSeqLen));
}

std::shared_ptr<MultiArray> outputArray(const platform::ml::FeatureProvider& output, const std::string& name) {
    const auto value = output.featureValue(name);
    return value ? value->multiArrayValue() : nullptr;
}

} // namespace

struct CohereDecoderLoop::Run {
    const CohereEncodedAudio& encoded;
    const CohereDecodingOptions& options;
    DataType dtype;
    std::shared_ptr<MultiArray> crossMask;
    Caches caches;
    // The tokens fed so far, this step's included.
    std::vector<int> history;
};

CohereDecoderLoop::CohereDecoderLoop(const platform::ml::Model& decoder, bool useStaticSelfMask)
    : decoder_(decoder), useStaticSelfMask_(useStaticSelfMask) {}

DataType CohereDecoderLoop::cacheType() const {
    const auto& inputs = decoder_.description().inputDescriptionsByName;
    const auto input = inputs.find("k_cache_0");
    if (input == inputs.end() || input->second.type != platform::ml::FeatureType::multiArray ||
        !input->second.multiArrayConstraint) {
        return DataType::float16;
    }
    return input->second.multiArrayConstraint->dataType;
}

std::vector<int> CohereDecoderLoop::decode(const CohereEncodedAudio& encoded,
                                           const CohereDecodingOptions& options) const {
    const auto prompt = promptSequence(options.language);
    const int limit = lengthLimit(options.maxNewTokens, prompt.size());
    if (limit == 0) {
        return {};
    }
    const auto dtype = cacheType();
    Run run{.encoded = encoded,
            .options = options,
            .dtype = dtype,
            .crossMask = CohereAttentionMasks::buildCrossAttentionMask(sequenceLength(*encoded.hiddenStates),
                                                                       encoded.validFrames, dtype),
            .caches = emptyCaches(),
            .history = {}};
    const int lastPromptStep = static_cast<int>(prompt.size()) - 1;
    std::vector<int> generated;
    int token = prompt.front();
    for (int step = 0;; ++step) {
        const auto output = predictStep(run, step, token);
        // The token fed at this step is what the choice follows, so the repetition rules must see it.
        run.history.push_back(token);
        const int best = bestToken(*output, run);
        if (step < lastPromptStep) {
            token = prompt[static_cast<std::size_t>(step + 1)];
        } else if (best == Config::SpecialTokens::eosToken) {
            return generated;
        } else {
            generated.push_back(best);
            token = best;
        }
        takeUpdatedCaches(*output, run.caches);
        if (step + 1 == limit) {
            return generated;
        }
    }
}

CohereDecoderLoop::Caches CohereDecoderLoop::emptyCaches() const {
    const MultiArray::Shape shape{1, Config::numDecoderHeads, Config::maxSeqLen, Config::headDim};
    Caches caches;
    for (int layer = 0; layer < Config::numDecoderLayers; ++layer) {
        // New arrays are zero-filled.
        caches.keys.push_back(std::make_shared<MultiArray>(shape, cacheType()));
        caches.values.push_back(std::make_shared<MultiArray>(shape, cacheType()));
    }
    return caches;
}

std::shared_ptr<const platform::ml::FeatureProvider> CohereDecoderLoop::predictStep(const Run& run, int step,
                                                                                    int token) const {
    std::map<std::string, FeatureValue> inputs{
        {"input_id", FeatureValue(int32Token(token))},
        {"position_id", FeatureValue(int32Token(step))},
        {"encoder_hidden_states", FeatureValue(run.encoded.hiddenStates)},
        {"cross_attention_mask", FeatureValue(run.crossMask)},
        {"attention_mask",
         FeatureValue(CohereAttentionMasks::buildSelfAttentionMask(step, useStaticSelfMask_, run.dtype))},
    };
    for (std::size_t layer = 0; layer < run.caches.keys.size(); ++layer) {
        inputs.emplace("k_cache_" + std::to_string(layer), FeatureValue(run.caches.keys[layer]));
        inputs.emplace("v_cache_" + std::to_string(layer), FeatureValue(run.caches.values[layer]));
    }
    return decoder_.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
}

// The best-scoring id after the repetition rules over every token fed so far.
int CohereDecoderLoop::bestToken(const platform::ml::FeatureProvider& output, const Run& run) {
    const auto logits = outputArray(output, "logits");
    if (!logits) {
        throw CohereAsrError::decodingFailed("Decoder output missing 'logits'");
    }
    auto scores = CohereScoreRules::copyLogitsFloat32(*logits);
    CohereScoreRules::applyRepetitionPenalty(scores, run.history, run.options.repetitionPenalty);
    CohereScoreRules::applyNoRepeatNgram(scores, run.history, run.options.noRepeatNgram);
    return static_cast<int>(platform::dsp::maxWithIndex(scores.data(), scores.size()).index);
}

void CohereDecoderLoop::takeUpdatedCaches(const platform::ml::FeatureProvider& output, Caches& caches) {
    for (std::size_t layer = 0; layer < caches.keys.size(); ++layer) {
        auto key = outputArray(output, "k_cache_" + std::to_string(layer) + "_out");
        auto value = outputArray(output, "v_cache_" + std::to_string(layer) + "_out");
        if (!key || !value) {
            throw CohereAsrError::decodingFailed("Missing updated cache for layer " + std::to_string(layer));
        }
        caches.keys[layer] = std::move(key);
        caches.values[layer] = std::move(value);
    }
}

} // namespace quorl
