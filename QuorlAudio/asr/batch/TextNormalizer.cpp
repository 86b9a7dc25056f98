#include "QuorlAudio/asr/batch/TextNormalizer.hpp"

#include "platform/text/CaseMapping.hpp"
#include "platform/text/Utf8.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <vector>

namespace quorl {
namespace {

// Words that name punctuation or symbols; a sentence holding one reaches the library with normalised spacing.
constexpr std::array<std::string_view, 9> ambiguousWords{"period", "dash", "colon", "pipe",   "slash",
                                                         "dot",    "plus", "hash",  "percent"};

template <class Function> Function symbol(void* scope, const char* name) {
    return reinterpret_cast<Function>(dlsym(scope, name));
}

std::vector<std::string> wordsBetweenSpaces(const std::string& text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find(' ', start), text.size());
        if (end > start) {
            words.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

bool isAmbiguous(const std::string& word) {
    return std::ranges::find(ambiguousWords, platform::text::lowercased(word)) != ambiguousWords.end();
}

} // namespace

const TextNormalizer& TextNormalizer::shared() {
    static const TextNormalizer instance;
    return instance;
}

TextNormalizer::TextNormalizer() {
    // The process's own global scope: the program and every library loaded with global visibility. The
    // handle is never closed, as the entry points found through it must stay valid.
    void* scope = dlopen(nullptr, RTLD_NOW);
    if (scope == nullptr) {
        return;
    }
    const auto normalizeEntry = symbol<NormalizeFunction>(scope, "nemo_normalize");
    const auto freeStringEntry = symbol<FreeStringFunction>(scope, "nemo_free_string");
    const auto versionEntry = symbol<VersionFunction>(scope, "nemo_version");
    if (!normalizeEntry || !freeStringEntry || !versionEntry) {
        return;
    }
    nemoNormalize_ = normalizeEntry;
    nemoFreeString_ = freeStringEntry;
    nemoVersion_ = versionEntry;
    nemoNormalizeSentence_ = symbol<NormalizeFunction>(scope, "nemo_normalize_sentence");
    nemoNormalizeSentenceMaxSpan_ = symbol<NormalizeWithSpanFunction>(scope, "nemo_normalize_sentence_with_max_span");
    nemoAddRule_ = symbol<AddRuleFunction>(scope, "nemo_add_rule");
    nemoRemoveRule_ = symbol<RemoveRuleFunction>(scope, "nemo_remove_rule");
    nemoClearRules_ = symbol<ClearRulesFunction>(scope, "nemo_clear_rules");
    nemoRuleCount_ = symbol<RuleCountFunction>(scope, "nemo_rule_count");
    isNativeAvailable_ = true;
}

std::string TextNormalizer::copyAndRelease(char* answer, const std::string& fallback) const {
    if (answer == nullptr) {
        return fallback;
    }
    // The library's bytes are read as UTF-8, ill-formed sequences becoming U+FFFD.
    std::string copy = platform::text::encodeScalars(platform::text::decodeScalars(answer));
    nemoFreeString_(answer);
    return copy;
}

std::string TextNormalizer::normalize(const std::string& text) const {
    if (!isNativeAvailable_) {
        return text;
    }
    return copyAndRelease(nemoNormalize_(text.c_str()), text);
}

std::string TextNormalizer::normalizeSentence(const std::string& text) const {
    if (!isNativeAvailable_) {
        return text;
    }
    return callNormalizeSentence(filterAmbiguousWords(text));
}

std::string TextNormalizer::normalizeSentence(const std::string& text, std::uint32_t maxSpanTokens) const {
    if (!isNativeAvailable_) {
        return text;
    }
    return callNormalizeSentenceWithMaxSpan(filterAmbiguousWords(text), maxSpanTokens);
}

ASRResult TextNormalizer::normalize(const ASRResult& result) const {
    const std::string text = normalizeSentence(result.text);
    if (text == result.text) {
        return result;
    }
    ASRResult normalized = result;
    normalized.text = text;
    return normalized;
}

std::string TextNormalizer::callNormalizeSentence(const std::string& text) const {
    if (!nemoNormalizeSentence_) {
        return normalize(text);
    }
    return copyAndRelease(nemoNormalizeSentence_(text.c_str()), text);
}

std::string TextNormalizer::callNormalizeSentenceWithMaxSpan(const std::string& text,
                                                             std::uint32_t maxSpanTokens) const {
    if (!nemoNormalizeSentenceMaxSpan_) {
        return callNormalizeSentence(text);
    }
    return copyAndRelease(nemoNormalizeSentenceMaxSpan_(text.c_str(), maxSpanTokens), text);
}

// Every word reaches the library unchanged; only the spacing of a sentence that holds a punctuation word
// is made regular.
std::string TextNormalizer::filterAmbiguousWords(const std::string& text) {
    const auto words = wordsBetweenSpaces(text);
    if (std::ranges::none_of(words, isAmbiguous)) {
        return text;
    }
    std::string joined;
    for (const auto& word : words) {
        joined += joined.empty() ? word : " " + word;
    }
    return joined;
}

void TextNormalizer::addRule(const std::string& spoken, const std::string& written) const {
    if (nemoAddRule_) {
        nemoAddRule_(spoken.c_str(), written.c_str());
    }
}

bool TextNormalizer::removeRule(const std::string& spoken) const {
    return nemoRemoveRule_ && nemoRemoveRule_(spoken.c_str()) != 0;
}

void TextNormalizer::clearRules() const {
    if (nemoClearRules_) {
        nemoClearRules_();
    }
}

std::int64_t TextNormalizer::ruleCount() const { return nemoRuleCount_ ? nemoRuleCount_() : 0; }

std::optional<std::string> TextNormalizer::version() const {
    if (!isNativeAvailable_) {
        return std::nullopt;
    }
    const char* text = nemoVersion_();
    if (text == nullptr) {
        return std::nullopt;
    }
    return platform::text::encodeScalars(platform::text::decodeScalars(text));
}

} // namespace quorl
