#pragma once

#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

// The JSON vocabulary file as written: its terms and whichever thresholds it sets.
struct CustomVocabularyConfig {
    std::optional<float> alpha;
    std::vector<CustomVocabularyTerm> terms;
    std::optional<float> minCtcScore;
    std::optional<float> minSimilarity;
    std::optional<float> minCombinedConfidence;
    std::optional<std::int64_t> minTermLength;

    // "terms" required, the thresholds optional, other keys ignored; a member of the wrong type throws the JSON
    // library's error.
    static CustomVocabularyConfig fromJson(const nlohmann::json& document);
    // The keys in field order, absent thresholds left out.
    nlohmann::ordered_json toJson() const;

    bool operator==(const CustomVocabularyConfig&) const = default;
};

} // namespace quorl
