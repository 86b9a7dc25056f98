#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"

#include <algorithm>
#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;

// Seconds searched on either side of a word, and the rescoring settings while no size tier is known.
constexpr double marginSeconds = 0.5;
constexpr float fallbackCbw = 4.5f;
constexpr float fallbackMinSimilarity = 0.5f;

// The replacement words of the results that pass the filter; absent when there are none.
template <class Filter>
std::optional<std::vector<std::string>> replacementWords(const VocabularyRescorer::RescoreOutput& output,
                                                         Filter filter) {
    std::vector<std::string> words;
    for (const auto& replacement : output.replacements) {
        if (replacement.replacementWord && filter(replacement)) {
            words.push_back(*replacement.replacementWord);
        }
    }
    return words.empty() ? std::nullopt : std::optional(std::move(words));
}

// The timings moved from stream seconds to seconds from the window's first sample.
std::vector<TokenTiming> inWindowSeconds(std::vector<TokenTiming> timings, std::int64_t windowStartSample) {
    const double offset = static_cast<double>(windowStartSample) / ASRConstants::sampleRate;
    for (auto& timing : timings) {
        timing.startTime -= offset;
        timing.endTime -= offset;
    }
    return timings;
}

} // namespace

void SlidingWindowAsrManager::configureVocabularyBoosting(CustomVocabularyContext vocabulary,
                                                          const CtcModels& ctcModels,
                                                          std::optional<VocabularyRescorer::Config> config) {
    auto shared = std::make_shared<const CustomVocabularyContext>(std::move(vocabulary));
    auto spotter =
        std::make_shared<const CtcKeywordSpotter>(ctcModels, static_cast<std::int64_t>(ctcModels.vocabulary.size()));
    const auto termCount = static_cast<std::int64_t>(shared->terms.size());
    {
        std::lock_guard lock(mutex_);
        customVocabulary_ = shared;
        ctcSpotter_ = spotter;
        vocabSizeConfig_ = ContextBiasingConstants::rescorerConfig(termCount);
    }
    auto rescorer = std::make_shared<const VocabularyRescorer>(
        VocabularyRescorer::create(*spotter, *shared, config.value_or(VocabularyRescorer::Config::defaultConfig()),
                                   CtcModels::defaultCacheDirectory(ctcModels.variant)));
    {
        std::lock_guard lock(mutex_);
        vocabularyRescorer_ = std::move(rescorer);
    }
    const bool isLargeVocab = termCount > ContextBiasingConstants::largeVocabThreshold;
    logger_.info(concatenated({"Vocabulary boosting configured with ", std::to_string(termCount),
                               " terms (isLargeVocab: ", isLargeVocab ? "true" : "false", ")"}));
}

bool SlidingWindowAsrManager::isBoostingActive() const {
    std::lock_guard lock(mutex_);
    return customVocabulary_ && vocabularyRescorer_;
}

ASRResult SlidingWindowAsrManager::withVocabularyBoosting(ASRResult result, std::span<const float> windowSamples,
                                                          std::int64_t windowStartSample) const {
    if (!isBoostingActive() || !result.tokenTimings) {
        return result;
    }
    const auto output =
        applyVocabularyRescoring(result.text, inWindowSeconds(*result.tokenTimings, windowStartSample), windowSamples);
    if (!output) {
        return result;
    }
    return result.withRescoring(output->text, replacementWords(*output, [](const auto&) { return true; }),
                                replacementWords(*output, [](const auto& r) { return r.shouldReplace; }));
}

std::optional<VocabularyRescorer::RescoreOutput>
SlidingWindowAsrManager::applyVocabularyRescoring(const std::string& text, const std::vector<TokenTiming>& tokenTimings,
                                                  std::span<const float> windowSamples) const {
    std::shared_ptr<const CustomVocabularyContext> vocabulary;
    std::shared_ptr<const CtcKeywordSpotter> spotter;
    std::shared_ptr<const VocabularyRescorer> rescorer;
    std::optional<ContextBiasingConstants::VocabSizeConfig> sizeConfig;
    {
        std::lock_guard lock(mutex_);
        vocabulary = customVocabulary_;
        spotter = ctcSpotter_;
        rescorer = vocabularyRescorer_;
        sizeConfig = vocabSizeConfig_;
    }
    if (!vocabulary || !spotter || !rescorer || tokenTimings.empty()) {
        return std::nullopt;
    }
    CtcKeywordSpotter::SpotKeywordsResult spotted;
    try {
        spotted = spotter->spotKeywordsWithLogProbs(windowSamples, *vocabulary, std::nullopt);
    } catch (...) {
        logger_.warning(
            concatenated({"Vocabulary rescoring failed: ", platform::core::describe(std::current_exception())}));
        return std::nullopt;
    }
    if (spotted.logProbs.empty()) {
        logger_.debug("Vocabulary rescoring skipped: no log probs from CTC");
        return std::nullopt;
    }
    const VocabularyRescorer::Scoring scoring{
        .logProbs = spotted.logProbs,
        .frameDuration = spotted.frameDuration,
        .cbw = sizeConfig ? sizeConfig->cbw : fallbackCbw,
        .marginSeconds = marginSeconds,
        .minSimilarity =
            std::max(vocabulary->minSimilarity, sizeConfig ? sizeConfig->minSimilarity : fallbackMinSimilarity)};
    const auto wordTimings = VocabularyRescorer::buildWordTimings(tokenTimings);
    auto output = rescorer->useBKTree() ? rescorer->rescoreWithConstrainedCTCWordCentric(text, wordTimings, scoring)
                                        : rescorer->rescoreWithConstrainedCTCTermCentric(text, wordTimings, scoring);
    if (!output.wasModified) {
        return std::nullopt;
    }
    logger_.info(concatenated({"Vocabulary rescoring applied ", std::to_string(output.replacements.size()),
                               " replacement(s) in streaming chunk"}));
    for (const auto& replacement : output.replacements) {
        if (replacement.shouldReplace) {
            logger_.debug(concatenated(
                {"  '", replacement.originalWord, "' \u2192 '", replacement.replacementWord.value_or(""), "'"}));
        }
    }
    return output;
}

} // namespace quorl
