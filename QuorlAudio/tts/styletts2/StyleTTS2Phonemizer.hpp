#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Turns English text into the IPA string StyleTTS2 speaks. Each word is resolved by a fixed order: punctuation
// passes through, "AI" and "US" are spelled, the lexicon is consulted, all-capital initialisms are spelled, and
// last the grapheme-to-phoneme model is asked; a word nothing resolves passes its letters through. Immutable;
// calls into the model are serialised by the model itself.
class StyleTTS2Phonemizer {
public:
    using Lexicon = LexiconAssetCache::Lexicon;
    using PhonemeTokens = std::vector<std::string>;

    // `wordToPhonemes` is keyed by lower-case words, `caseSensitiveWordToPhonemes` by words as written (single
    // capital letters included); either may be empty. `g2p` must outlive the phonemizer.
    StyleTTS2Phonemizer(const Lexicon& wordToPhonemes, const Lexicon& caseSensitiveWordToPhonemes,
                        G2PModel& g2p = G2PModel::shared());

    // The phoneme string, words and punctuation separated by single spaces; empty for blank text. Throws
    // StyleTTS2Error::phonemizationFailed when no word was resolved. Failures of the model only log and pass
    // the word's letters through.
    std::string phonemize(std::string_view text) const;

    // The token ids of phonemize's result, the pad first.
    std::vector<std::int32_t> encode(std::string_view text) const;

    // Each shorthand capital of a lexicon entry or the model's output (A, I, O, W, Y) as its diphthong.
    static std::string expandMisakiShorthand(std::string_view phonemes);

private:
    struct Walk;

    void resolve(const std::string& word, Walk& walk) const;
    bool resolveByRule(const std::string& word, Walk& walk) const;
    void resolveByModel(const std::string& word, Walk& walk) const;
    std::optional<std::string> spellAsLetterNames(std::string_view word) const;
    std::optional<PhonemeTokens> lookupLexicon(std::string_view word) const;

    static std::vector<std::string> splitWords(std::string_view text);
    static std::string normalizeKey(std::string_view word);

    AppLogger logger_{"StyleTTS2Phonemizer"};
    // Keys in NFC, so that words compare under canonical equivalence.
    Lexicon wordToPhonemes_;
    Lexicon caseSensitiveWordToPhonemes_;
    G2PModel* g2p_;
};

} // namespace quorl
