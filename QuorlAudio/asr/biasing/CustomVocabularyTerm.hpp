#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// One word or phrase that transcripts are biased toward, with its optional aliases and per-term settings.
// Immutable: the lower-cased text is computed once, at construction.
class CustomVocabularyTerm {
public:
    // What a term is made from; written with designated initialisers: CustomVocabularyTerm({.text = "Opal"}).
    struct Fields {
        // The term as it is to appear in a transcript.
        std::string text;
        std::optional<float> weight = std::nullopt;
        // Other forms under which the term may occur; the loaders never keep an empty list.
        std::optional<std::vector<std::string>> aliases = std::nullopt;
        // Ids the spotter uses when ctcTokenIds is absent.
        std::optional<std::vector<std::int64_t>> tokenIds = std::nullopt;
        // The term in the CTC tokenizer's ids, word-boundary marker first.
        std::optional<std::vector<std::int64_t>> ctcTokenIds = std::nullopt;
        // Clamped into [0, 1] on construction; NaN becomes 0.
        std::optional<float> minSimilarity = std::nullopt;

        bool operator==(const Fields&) const = default;
    };

    explicit CustomVocabularyTerm(Fields fields);

    // A term object of a vocabulary document: "text" required; "weight", "aliases", "tokenIds", "ctcTokenIds"
    // and "minSimilarity" optional; other keys ignored. A member of the wrong type throws the JSON library's
    // error.
    static CustomVocabularyTerm fromJson(const nlohmann::json& object);
    // The keys in that order, absent fields left out; the lower-cased text is never written.
    nlohmann::ordered_json toJson() const;

    const Fields& fields() const { return fields_; }
    const std::string& text() const { return fields_.text; }
    const std::optional<float>& weight() const { return fields_.weight; }
    const std::optional<std::vector<std::string>>& aliases() const { return fields_.aliases; }
    const std::optional<std::vector<std::int64_t>>& tokenIds() const { return fields_.tokenIds; }
    const std::optional<std::vector<std::int64_t>>& ctcTokenIds() const { return fields_.ctcTokenIds; }
    const std::optional<float>& minSimilarity() const { return fields_.minSimilarity; }
    // The ids a term is spotted and scored by: ctcTokenIds, else tokenIds; null when that list is absent or
    // empty.
    const std::vector<std::int64_t>* keywordTokens() const;
    // The text under the default full lower-case mapping.
    const std::string& textLowercased() const { return textLowercased_; }

    bool operator==(const CustomVocabularyTerm&) const = default;

private:
    Fields fields_;
    std::string textLowercased_;
};

} // namespace quorl
