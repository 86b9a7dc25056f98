#include "QuorlAudio/tts/styletts2/StyleTTS2Phonemizer.hpp"

#include "QuorlAudio/tts/frontend/EnglishInitialisms.hpp"
#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2TextCleaner.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <exception>

namespace quorl {
namespace {

using platform::core::concatenated;

// How much of the caller's text a failure quotes, in characters.
constexpr std::size_t quotedCharacters = 40;

std::string_view shorthandExpansion(std::string_view character) {
    if (character == "A") {
        return "e\u026A";
    }
    if (character == "I") {
        return "a\u026A";
    }
    if (character == "O") {
        return "o\u028A";
    }
    if (character == "W") {
        return "a\u028A";
    }
    if (character == "Y") {
        return "\u0254\u026A";
    }
    return character;
}

bool isPunctuationSymbol(std::string_view character) {
    const auto& dictionary = StyleTTS2TextCleaner::dictionary();
    const auto found = dictionary.find(platform::text::nfc(character));
    return found != dictionary.end() && found->second >= 1 &&
           found->second <=
               static_cast<std::int32_t>(platform::text::characterCount(StyleTTS2TextCleaner::punctuation));
}

bool isAllPunctuation(std::string_view word) {
    return std::ranges::all_of(platform::text::graphemeClusterViews(word), isPunctuationSymbol);
}

// A character is a letter or a number by its first scalar.
bool isWordCharacter(std::string_view character) {
    const auto scalar = platform::text::firstScalar(character);
    return platform::text::isAlphabetic(scalar) || platform::text::hasNumericType(scalar) || character == "'" ||
           character == "-";
}

std::string firstCharacters(std::string_view text, std::size_t count) {
    const auto boundaries = platform::text::graphemeBoundaries(text);
    return std::string(text.substr(0, boundaries[std::min(count, boundaries.size() - 1)]));
}

StyleTTS2Phonemizer::Lexicon inNFC(const StyleTTS2Phonemizer::Lexicon& lexicon) {
    StyleTTS2Phonemizer::Lexicon normalized;
    for (const auto& [word, tokens] : lexicon) {
        normalized[platform::text::nfc(word)] = tokens;
    }
    return normalized;
}

const StyleTTS2Phonemizer::PhonemeTokens* find(const StyleTTS2Phonemizer::Lexicon& lexicon, std::string_view word) {
    const auto found = lexicon.find(platform::text::nfc(word));
    return found == lexicon.end() ? nullptr : &found->second;
}

std::string concatenatedTokens(const StyleTTS2Phonemizer::PhonemeTokens& tokens) {
    return StyleTTS2Phonemizer::expandMisakiShorthand(platform::text::joined(tokens, ""));
}

} // namespace

struct StyleTTS2Phonemizer::Walk {
    std::vector<std::string> output;
    int lexiconHits = 0;
    int fallbacks = 0;
    bool resolved = false;

    void resolvedAs(std::string phonemes, int& counter) {
        output.push_back(std::move(phonemes));
        ++counter;
        resolved = true;
    }
};

StyleTTS2Phonemizer::StyleTTS2Phonemizer(const Lexicon& wordToPhonemes, const Lexicon& caseSensitiveWordToPhonemes,
                                         G2PModel& g2p)
    : wordToPhonemes_(inNFC(wordToPhonemes)), caseSensitiveWordToPhonemes_(inNFC(caseSensitiveWordToPhonemes)),
      g2p_(&g2p) {}

std::string StyleTTS2Phonemizer::phonemize(std::string_view text) const {
    const auto trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(text);
    if (trimmed.empty()) {
        return {};
    }
    const auto words = splitWords(EnglishTextNormalizer::normalize(trimmed));
    Walk walk;
    for (const auto& word : words) {
        resolve(word, walk);
    }
    if (!wordToPhonemes_.empty()) {
        logger_.debug(concatenated({"Phonemized ", std::to_string(words.size()),
                                    " tokens \u2014 lexicon hits: ", std::to_string(walk.lexiconHits),
                                    ", G2P fallback: ", std::to_string(walk.fallbacks)}));
    }
    if (!walk.resolved) {
        throw StyleTTS2Error::phonemizationFailed(concatenated(
            {"no words resolved by lexicon or G2P (input='", firstCharacters(text, quotedCharacters), "')"}));
    }
    return platform::text::joined(walk.output, " ");
}

std::vector<std::int32_t> StyleTTS2Phonemizer::encode(std::string_view text) const {
    return StyleTTS2TextCleaner::encode(phonemize(text), true);
}

std::string StyleTTS2Phonemizer::expandMisakiShorthand(std::string_view phonemes) {
    std::string expanded;
    for (const auto character : platform::text::graphemeClusterViews(phonemes)) {
        expanded += shorthandExpansion(character);
    }
    return expanded;
}

void StyleTTS2Phonemizer::resolve(const std::string& word, Walk& walk) const {
    if (word.empty()) {
        return;
    }
    if (isAllPunctuation(word)) {
        walk.output.push_back(word);
        walk.resolved = true;
        return;
    }
    if (!resolveByRule(word, walk)) {
        resolveByModel(word, walk);
    }
}

// Letter-name overrides, the lexicon and initialisms, in that order; false when none applies.
bool StyleTTS2Phonemizer::resolveByRule(const std::string& word, Walk& walk) const {
    if (EnglishInitialisms::letterNameOverrides().contains(word)) {
        if (auto spelled = spellAsLetterNames(word)) {
            walk.resolvedAs(std::move(*spelled), walk.lexiconHits);
            return true;
        }
        logger_.notice(concatenated({"Letter-name override '", word,
                                     "' unspellable (missing per-letter lexicon entries); falling back to the "
                                     "bundled pronunciation"}));
    }
    if (const auto tokens = lookupLexicon(word); tokens && !tokens->empty()) {
        walk.resolvedAs(concatenatedTokens(*tokens), walk.lexiconHits);
        return true;
    }
    if (EnglishInitialisms::isCandidate(word)) {
        if (auto spelled = spellAsLetterNames(word)) {
            walk.resolvedAs(std::move(*spelled), walk.lexiconHits);
            return true;
        }
    }
    return false;
}

// The model's reading of the word as written; its failures only pass the letters through.
void StyleTTS2Phonemizer::resolveByModel(const std::string& word, Walk& walk) const {
    std::optional<PhonemeTokens> tokens;
    try {
        tokens = g2p_->phonemize(word);
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        logger_.warning(concatenated({"G2P failed for '", word, "': ",
                                      platform::core::describe(std::current_exception()), "; passing graphemes"}));
        walk.output.push_back(word);
        return;
    }
    if (!tokens || tokens->empty()) {
        logger_.notice(concatenated({"G2P returned nil for '", word, "'; passing graphemes"}));
        walk.output.push_back(word);
        return;
    }
    walk.resolvedAs(concatenatedTokens(*tokens), walk.fallbacks);
}

std::optional<std::string> StyleTTS2Phonemizer::spellAsLetterNames(std::string_view word) const {
    std::vector<std::string> letters;
    for (const auto character : platform::text::graphemeClusterViews(word)) {
        const auto* tokens = find(caseSensitiveWordToPhonemes_, character);
        if (tokens == nullptr || tokens->empty()) {
            return std::nullopt;
        }
        letters.push_back(concatenatedTokens(*tokens));
    }
    if (letters.empty()) {
        return std::nullopt;
    }
    return platform::text::joined(letters, " ");
}

// The first entry found: the word as written in the case-sensitive lexicon, then its key in the case-sensitive
// and the lower-case lexicon.
std::optional<StyleTTS2Phonemizer::PhonemeTokens> StyleTTS2Phonemizer::lookupLexicon(std::string_view word) const {
    if (const auto* tokens = find(caseSensitiveWordToPhonemes_, word)) {
        return *tokens;
    }
    const auto key = normalizeKey(word);
    if (key.empty()) {
        return std::nullopt;
    }
    for (const auto* lexicon : {&caseSensitiveWordToPhonemes_, &wordToPhonemes_}) {
        if (const auto* tokens = find(*lexicon, key)) {
            return *tokens;
        }
    }
    return std::nullopt;
}

// White space ends a word; letters, numbers, "'" and "-" extend it; any other character ends it and stands alone.
std::vector<std::string> StyleTTS2Phonemizer::splitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string current;
    const auto flush = [&] {
        if (!current.empty()) {
            words.push_back(std::move(current));
            current.clear();
        }
    };
    for (const auto character : platform::text::graphemeClusterViews(text)) {
        if (platform::text::isAllWhiteSpaceAndLineBreaks(character)) {
            flush();
        } else if (isWordCharacter(character)) {
            current += character;
        } else {
            flush();
            words.emplace_back(character);
        }
    }
    flush();
    return words;
}

std::string StyleTTS2Phonemizer::normalizeKey(std::string_view word) {
    std::u32string kept;
    for (const auto scalar : platform::text::decodeScalars(platform::text::lowercased(word))) {
        if (platform::text::isLetter(scalar) || platform::text::isDecimalDigit(scalar) || scalar == U'\'') {
            kept += scalar;
        }
    }
    return platform::text::encodeScalars(kept);
}

} // namespace quorl
