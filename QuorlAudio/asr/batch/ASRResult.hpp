#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/foundation/ASRPerformanceMetrics.hpp"

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// The outcome of one recognition.
struct ASRResult {
    std::string text;
    float confidence = 0;
    // Seconds of audio transcribed.
    double duration = 0;
    // Wall-clock seconds the transcription took.
    double processingTime = 0;
    std::optional<std::vector<TokenTiming>> tokenTimings;
    std::optional<ASRPerformanceMetrics> performanceMetrics;
    // Custom-vocabulary terms that context biasing detected, and those it applied to the text.
    std::optional<std::vector<std::string>> ctcDetectedTerms;
    std::optional<std::vector<std::string>> ctcAppliedTerms;

    // Seconds of audio per second of processing, in single precision; unguarded, so an instant transcription
    // gives infinity.
    float rtfx() const;

    // A copy carrying the rescored text and the vocabulary terms; the token timings still describe the text
    // before rescoring.
    ASRResult withRescoring(std::string text, std::optional<std::vector<std::string>> detected,
                            std::optional<std::vector<std::string>> applied) const;

    bool operator==(const ASRResult&) const = default;
};

void to_json(nlohmann::json& json, const ASRResult& result);
void from_json(const nlohmann::json& json, ASRResult& result);

} // namespace quorl
