#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Turns one piece of normalised English text into the Kokoro phoneme string: words and punctuation are split,
// each word is found in the caller's custom lexicon, read as letter names, looked up in the pronunciation
// lexicons or, last, handed to the fallback (the English G2P model). Immutable; usable from any thread.
struct KokoroAneEnglishPhonemizer {
    using PhonemeTokens = std::vector<std::string>;
    // A lexicon key to its phoneme tokens, or nothing when it cannot read the word; it may throw.
    using Fallback = std::function<std::optional<PhonemeTokens>(const std::string& key)>;

    // Lower-case lexicon key to phoneme tokens.
    std::map<std::string, PhonemeTokens, std::less<>> wordToPhonemes;
    // A word exactly as written (single capital letters included) to phoneme tokens.
    std::map<std::string, PhonemeTokens, std::less<>> caseSensitiveWordToPhonemes;
    // A word to a complete phoneme string: the caller's overrides.
    std::map<std::string, std::string, std::less<>> customLexicon;
    // Characters kept in the output as punctuation.
    std::set<std::string, std::less<>> allowedPunctuation;

    // The words' phoneme strings joined by spaces, allowed punctuation attached to the word before it. Throws
    // KokoroAneError inputProcessingFailed for blank input or when nothing could be read; an error of the
    // fallback ends the call.
    std::string phonemize(std::string_view text, const Fallback& fallback) const;

    // Words (letters, numbers, hyphens and joined apostrophes) and one-character punctuation tokens.
    static std::vector<std::string> splitWords(std::string_view text);
    // Lower-cased, keeping only letters, marks, decimal digits and the apostrophe U+0027.
    static std::string normalizeKey(std::string_view word);

private:
    std::optional<std::string> resolveWord(const std::string& word, const Fallback& fallback) const;
    std::optional<std::string> lexiconLookup(const std::string& word, const std::string& key) const;
    std::optional<std::string> spellAsLetterNames(const std::string& word) const;
};

} // namespace quorl
