#pragma once

#include "QuorlAudio/asr/biasing/CtcModels.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// Turns 16 kHz mono audio into per-frame natural-log token probabilities from the CTC head of a loaded model
// set: one model window for up to 15 s, overlapping windows whose seam rows are averaged beyond that.
// Immutable; each computation makes its own arrays and may run from any thread.
class CtcKeywordSpotter {
public:
    using Rows = std::vector<std::vector<float>>;

    struct CtcLogProbResult {
        // logProbs[t][v]: log-probability of output entry v at frame t, frames in time order.
        Rows logProbs;
        // Seconds of audio per row; row t starts t * frameDuration after the input's start.
        double frameDuration = 0.0;
        std::int64_t totalFrames = 0;
        std::int64_t audioSamplesUsed = 0;
    };

    // A vocabulary term found in the audio; frames end-exclusive, times in seconds from the input's start.
    struct KeywordDetection {
        CustomVocabularyTerm term;
        float score;
        std::int64_t totalFrames;
        std::int64_t startFrame;
        std::int64_t endFrame;
        double startTime;
        double endTime;
    };

    struct SpotKeywordsResult {
        std::vector<KeywordDetection> detections;
        Rows logProbs;
        double frameDuration = 0.0;
        std::int64_t totalFrames = 0;
    };

    // The best alignment of a token sequence inside frames [start, end), frames counted in the whole matrix.
    struct ConstrainedMatch {
        float score;
        std::int64_t startFrame;
        std::int64_t endFrame;
    };

    CtcKeywordSpotter(CtcModels models, std::int64_t blankId);

    // Computes the audio's log-probabilities and finds the vocabulary's terms in them. Without minScore every
    // term is searched with the default threshold; longer terms get a relaxed one.
    SpotKeywordsResult spotKeywordsWithLogProbs(std::span<const float> audioSamples,
                                                const CustomVocabularyContext& customVocabulary,
                                                std::optional<float> minScore) const;
    SpotKeywordsResult spotKeywordsFromLogProbs(const Rows& logProbs, double frameDuration,
                                                const CustomVocabularyContext& customVocabulary,
                                                std::optional<float> minScore) const;
    ConstrainedMatch ctcWordSpotConstrained(const Rows& logProbs, const std::vector<std::int64_t>& keywordTokens,
                                            std::int64_t searchStartFrame, std::int64_t searchEndFrame) const;

    // Every row log-softmax normalised at the temperature, then the blank entry lowered by blankBias.
    static Rows applyLogSoftmax(const Rows& rawLogits, std::int64_t blankId, float temperature, float blankBias);

    // One model window over the first maxModelSamples samples; rows past the real audio are cut off.
    CtcLogProbResult computeWithStagedModels(std::span<const float> audioSamples) const;
    // Overlapping windows over the whole input, seam rows combined as the log of the mean probability.
    CtcLogProbResult computeLogProbsChunked(std::span<const float> audioSamples) const;

    const CtcModels& models() const { return models_; }
    std::int64_t blankId() const { return blankId_; }

    static constexpr std::int64_t sampleRate = 16000;
    static constexpr std::int64_t maxModelSamples = 240000;
    static constexpr std::int64_t chunkOverlapSamples = 32000;
    static constexpr bool debugMode = false;

private:
    struct AudioWindow;

    AudioWindow prepareAudioArray(std::span<const float> audioSamples) const;
    Rows makeLogProbs(const platform::ml::MultiArray& output) const;
    std::vector<KeywordDetection> detect(const Rows& logProbs, double frameDuration,
                                         const CustomVocabularyContext& customVocabulary,
                                         std::optional<float> minScore) const;
    static Rows trimLogProbs(Rows rows, std::int64_t audioSampleCount);

    AppLogger logger_{"CtcKeywordSpotter"};
    CtcModels models_;
    std::int64_t blankId_;
    float temperature_;
    float blankBias_;
};

} // namespace quorl
