#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include "QuorlAudio/asr/biasing/VocabularyJson.hpp"
#include "platform/text/CaseMapping.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorl {
namespace {

std::optional<float> clamped(std::optional<float> similarity) {
    if (!similarity) {
        return std::nullopt;
    }
    return std::isnan(*similarity) ? 0.0f : std::clamp(*similarity, 0.0f, 1.0f);
}

} // namespace

CustomVocabularyTerm::CustomVocabularyTerm(Fields fields)
    : fields_(std::move(fields)), textLowercased_(platform::text::lowercased(fields_.text)) {
    fields_.minSimilarity = clamped(fields_.minSimilarity);
}

CustomVocabularyTerm CustomVocabularyTerm::fromJson(const nlohmann::json& object) {
    using namespace vocabularyJson;
    const auto& term = vocabularyJson::object(object);
    return CustomVocabularyTerm({.text = requiredString(term, "text"),
                                 .weight = optionalFloat(term, "weight"),
                                 .aliases = optionalStrings(term, "aliases"),
                                 .tokenIds = optionalIntegers(term, "tokenIds"),
                                 .ctcTokenIds = optionalIntegers(term, "ctcTokenIds"),
                                 .minSimilarity = optionalFloat(term, "minSimilarity")});
}

nlohmann::ordered_json CustomVocabularyTerm::toJson() const {
    nlohmann::ordered_json json{{"text", fields_.text}};
    if (fields_.weight) {
        json["weight"] = vocabularyJson::number(*fields_.weight);
    }
    if (fields_.aliases) {
        json["aliases"] = *fields_.aliases;
    }
    if (fields_.tokenIds) {
        json["tokenIds"] = *fields_.tokenIds;
    }
    if (fields_.ctcTokenIds) {
        json["ctcTokenIds"] = *fields_.ctcTokenIds;
    }
    if (fields_.minSimilarity) {
        json["minSimilarity"] = vocabularyJson::number(*fields_.minSimilarity);
    }
    return json;
}

const std::vector<std::int64_t>* CustomVocabularyTerm::keywordTokens() const {
    const auto& tokens = fields_.ctcTokenIds ? fields_.ctcTokenIds : fields_.tokenIds;
    return tokens && !tokens->empty() ? &*tokens : nullptr;
}

} // namespace quorl
