#include "QuorlAudio/asr/biasing/NormalizedForm.hpp"

#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"

#include <algorithm>
#include <functional>

namespace quorl {
namespace {

void appendAliases(std::vector<std::string>& candidates, const CustomVocabularyTerm& term) {
    if (term.aliases()) {
        candidates.insert(candidates.end(), term.aliases()->begin(), term.aliases()->end());
    }
}

std::int64_t wordCount(const std::string& normalized) {
    // Normalised text has single spaces and none at either end.
    return static_cast<std::int64_t>(std::ranges::count(normalized, ' ')) + 1;
}

} // namespace

std::size_t NormalizedFormHash::operator()(const NormalizedForm& form) const {
    return std::hash<std::string>{}(form.normalized) ^ (std::hash<std::int64_t>{}(form.wordCount) << 1);
}

std::vector<NormalizedForm> buildNormalizedForms(const CustomVocabularyTerm& term,
                                                 const CustomVocabularyContext& vocabulary) {
    std::vector<std::string> candidates{term.text()};
    for (const auto& other : vocabulary.terms) {
        if (other.textLowercased() == term.textLowercased()) {
            appendAliases(candidates, other);
        }
    }
    appendAliases(candidates, term);
    std::vector<NormalizedForm> forms;
    for (const auto& candidate : candidates) {
        std::string normalized = normalizeForSimilarity(candidate);
        const bool seen = std::ranges::any_of(forms, [&](const auto& form) { return form.normalized == normalized; });
        if (!normalized.empty() && !seen) {
            const auto words = wordCount(normalized);
            forms.push_back(NormalizedForm{.normalized = std::move(normalized), .wordCount = words});
        }
    }
    return forms;
}

std::unordered_set<std::string> buildVocabularyNormalizedSet(const CustomVocabularyContext& vocabulary) {
    std::unordered_set<std::string> normalizedSet;
    for (const auto& term : vocabulary.terms) {
        std::vector<std::string> texts{term.text()};
        appendAliases(texts, term);
        for (const auto& text : texts) {
            if (auto normalized = normalizeForSimilarity(text); !normalized.empty()) {
                normalizedSet.insert(std::move(normalized));
            }
        }
    }
    return normalizedSet;
}

} // namespace quorl
