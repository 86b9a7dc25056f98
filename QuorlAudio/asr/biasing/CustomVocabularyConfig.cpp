#include "QuorlAudio/asr/biasing/CustomVocabularyConfig.hpp"

#include "QuorlAudio/asr/biasing/VocabularyJson.hpp"

namespace quorl {

CustomVocabularyConfig CustomVocabularyConfig::fromJson(const nlohmann::json& document) {
    using namespace vocabularyJson;
    const auto& vocabulary = object(document);
    std::vector<CustomVocabularyTerm> terms;
    for (const auto& term : requiredArray(vocabulary, "terms")) {
        terms.push_back(CustomVocabularyTerm::fromJson(term));
    }
    return CustomVocabularyConfig{.alpha = optionalFloat(vocabulary, "alpha"),
                                  .terms = std::move(terms),
                                  .minCtcScore = optionalFloat(vocabulary, "minCtcScore"),
                                  .minSimilarity = optionalFloat(vocabulary, "minSimilarity"),
                                  .minCombinedConfidence = optionalFloat(vocabulary, "minCombinedConfidence"),
                                  .minTermLength = optionalInteger(vocabulary, "minTermLength")};
}

nlohmann::ordered_json CustomVocabularyConfig::toJson() const {
    nlohmann::ordered_json json;
    const auto write = [&json](const char* key, const std::optional<float>& value) {
        if (value) {
            json[key] = vocabularyJson::number(*value);
        }
    };
    write("alpha", alpha);
    json["terms"] = nlohmann::ordered_json::array();
    for (const auto& term : terms) {
        json["terms"].push_back(term.toJson());
    }
    write("minCtcScore", minCtcScore);
    write("minSimilarity", minSimilarity);
    write("minCombinedConfidence", minCombinedConfidence);
    if (minTermLength) {
        json["minTermLength"] = *minTermLength;
    }
    return json;
}

} // namespace quorl
