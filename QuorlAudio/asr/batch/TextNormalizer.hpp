#pragma once

#include "QuorlAudio/asr/batch/ASRResult.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorl {

// Inverse text normalisation (spoken form to written form: "twenty five" to "25") by a native library that
// lives outside the toolkit. The normaliser looks for the library's "nemo_" entry points among the symbols
// already loaded into the process; without "nemo_normalize", "nemo_free_string" and "nemo_version" it is
// unavailable and every operation hands its input back. The toolkit defines none of these symbols: a host
// that wants normalisation loads a library exporting them (with global symbol scope) before first use.
class TextNormalizer {
public:
    // The process-wide instance, made on first use.
    static const TextNormalizer& shared();

    // Looks the entry points up now; later loads of a library do not reach this instance.
    TextNormalizer();

    bool isNativeAvailable() const { return isNativeAvailable_; }

    // The library's normalisation of the text as it is, spacing included.
    std::string normalize(const std::string& text) const;
    // Sentence normalisation; a text naming a punctuation word ("period", "dash"…) goes to the library with
    // its words joined by single spaces.
    std::string normalizeSentence(const std::string& text) const;
    // The same with a bound on the span of tokens one rule may cover, when the library offers it.
    std::string normalizeSentence(const std::string& text, std::uint32_t maxSpanTokens) const;
    // The result with its text through sentence normalisation; the same result when the text does not change.
    ASRResult normalize(const ASRResult& result) const;

    // The library's rule table; without the entry point a change does nothing, a removal is false and the
    // count is 0.
    void addRule(const std::string& spoken, const std::string& written) const;
    bool removeRule(const std::string& spoken) const;
    void clearRules() const;
    std::int64_t ruleCount() const;

    // The library's version; none when unavailable or when the library gives none.
    std::optional<std::string> version() const;

private:
    using NormalizeFunction = char* (*)(const char*);
    using NormalizeWithSpanFunction = char* (*)(const char*, std::uint32_t);
    using FreeStringFunction = void (*)(char*);
    using AddRuleFunction = void (*)(const char*, const char*);
    using RemoveRuleFunction = std::int32_t (*)(const char*);
    using ClearRulesFunction = void (*)();
    using RuleCountFunction = std::uint32_t (*)();
    using VersionFunction = const char* (*)();

    // The library's answer copied and released, or `fallback` when it gives none.
    std::string copyAndRelease(char* answer, const std::string& fallback) const;
    std::string callNormalizeSentence(const std::string& text) const;
    std::string callNormalizeSentenceWithMaxSpan(const std::string& text, std::uint32_t maxSpanTokens) const;
    static std::string filterAmbiguousWords(const std::string& text);

    bool isNativeAvailable_ = false;
    NormalizeFunction nemoNormalize_ = nullptr;
    NormalizeFunction nemoNormalizeSentence_ = nullptr;
    NormalizeWithSpanFunction nemoNormalizeSentenceMaxSpan_ = nullptr;
    FreeStringFunction nemoFreeString_ = nullptr;
    AddRuleFunction nemoAddRule_ = nullptr;
    RemoveRuleFunction nemoRemoveRule_ = nullptr;
    ClearRulesFunction nemoClearRules_ = nullptr;
    RuleCountFunction nemoRuleCount_ = nullptr;
    VersionFunction nemoVersion_ = nullptr;
};

} // namespace quorl
