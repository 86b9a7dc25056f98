#include "QuorlAudio/tts/frontend/KokoroAneEnglishPhonemizer.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/EnglishInitialisms.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <exception>

namespace quorl {
namespace {

const AppLogger& logger() {
    static const AppLogger instance("KokoroAneEnglishPhonemizer");
    return instance;
}

// Words that begin with an elided letter; the apostrophe in front of them belongs to the word.
const std::set<std::string, std::less<>>& knownLeadingApostropheWords() {
    static const std::set<std::string, std::less<>> words{"'cause", "'em", "'til", "'tis", "'twas", "'twere"};
    return words;
}

// A character is a letter or a number by its first scalar, as a reader of the text would class it.
bool isLetter(std::string_view character) {
    return platform::text::isAlphabetic(platform::text::firstScalar(character));
}

bool isLetterOrNumber(std::string_view character) {
    const auto scalar = platform::text::firstScalar(character);
    return platform::text::isAlphabetic(scalar) || platform::text::hasNumericType(scalar);
}

bool isWhiteSpace(std::string_view character) { return platform::text::isAllWhiteSpaceAndLineBreaks(character); }

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (std::size_t index = 0; index < parts.size(); ++index) {
        if (index > 0) {
            text += separator;
        }
        text += parts[index];
    }
    return text;
}

bool startsKnownLeadingApostropheWord(const std::vector<std::string_view>& characters, std::size_t apostrophe) {
    auto end = apostrophe + 1;
    if (end >= characters.size() || !isLetter(characters[end])) {
        return false;
    }
    std::string run = "'";
    for (; end < characters.size() && isLetter(characters[end]); ++end) {
        run += characters[end];
    }
    return knownLeadingApostropheWords().contains(platform::text::lowercased(run));
}

class WordSplitter {
public:
    std::vector<std::string> split(std::string_view text) {
        const auto characters = platform::text::graphemeClusterViews(text);
        for (std::size_t index = 0; index < characters.size(); ++index) {
            take(characters, index);
        }
        flush();
        return std::move(tokens_);
    }

private:
    void take(const std::vector<std::string_view>& characters, std::size_t index) {
        const auto character = characters[index];
        if (isWhiteSpace(character)) {
            flush();
        } else if (character == "'") {
            takeApostrophe(characters, index);
        } else if (isLetterOrNumber(character) || character == "-") {
            word_ += character;
        } else {
            flush();
            tokens_.emplace_back(character);
        }
    }

    // Inside a word an apostrophe before a letter or number joins (don't); otherwise it is a token of its own,
    // unless it opens one of the known elided words ('Twas).
    void takeApostrophe(const std::vector<std::string_view>& characters, std::size_t index) {
        const bool joined = index + 1 < characters.size() && isLetterOrNumber(characters[index + 1]);
        if (!word_.empty()) {
            if (joined) {
                word_ += "'";
                return;
            }
            flush();
            tokens_.emplace_back("'");
        } else if (startsKnownLeadingApostropheWord(characters, index)) {
            word_.assign(1, '\'');
        } else {
            tokens_.emplace_back("'");
        }
    }

    void flush() {
        if (!word_.empty()) {
            tokens_.push_back(std::move(word_));
            word_.clear();
        }
    }

    std::vector<std::string> tokens_;
    std::string word_;
};

std::optional<std::string> joinedTokens(const KokoroAneEnglishPhonemizer::PhonemeTokens* tokens) {
    if (tokens == nullptr || tokens->empty()) {
        return std::nullopt;
    }
    return joined(*tokens, "");
}

template <class Map> const typename Map::mapped_type* find(const Map& map, std::string_view key) {
    const auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
}

std::string errorDescription(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return caught.what();
    } catch (...) {
        return "unknown error";
    }
}

} // namespace

std::vector<std::string> KokoroAneEnglishPhonemizer::splitWords(std::string_view text) {
    return WordSplitter().split(text);
}

std::string KokoroAneEnglishPhonemizer::normalizeKey(std::string_view word) {
    std::u32string kept;
    for (const auto scalar : platform::text::decodeScalars(platform::text::lowercased(word))) {
        if (platform::text::isLetter(scalar) || platform::text::isMark(scalar) ||
            platform::text::isDecimalDigit(scalar) || scalar == U'\'') {
            kept += scalar;
        }
    }
    return platform::text::encodeScalars(kept);
}

std::string KokoroAneEnglishPhonemizer::phonemize(std::string_view text, const Fallback& fallback) const {
    const auto trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(text);
    if (trimmed.empty()) {
        throw KokoroAneError::inputProcessingFailed("(empty input)");
    }
    std::vector<std::string> parts;
    for (const auto& token : splitWords(trimmed)) {
        if (token.empty()) {
            continue;
        }
        if (platform::text::graphemeBoundaries(token).size() == 2 && !isLetterOrNumber(token)) {
            if (allowedPunctuation.contains(token)) {
                parts.empty() ? parts.push_back(token) : void(parts.back() += token);
            }
            continue;
        }
        if (auto phonemes = resolveWord(token, fallback)) {
            parts.push_back(std::move(*phonemes));
        }
    }
    auto phonemes = joined(parts, " ");
    if (phonemes.empty()) {
        throw KokoroAneError::inputProcessingFailed("produced no phonemes for input '" + trimmed + "'");
    }
    return phonemes;
}

std::optional<std::string> KokoroAneEnglishPhonemizer::resolveWord(const std::string& word,
                                                                   const Fallback& fallback) const {
    const auto key = normalizeKey(word);
    if (const auto* custom = find(customLexicon, word)) {
        return *custom;
    }
    if (const auto* custom = find(customLexicon, key)) {
        return *custom;
    }
    if (EnglishInitialisms::letterNameOverrides().contains(word)) {
        if (auto spelled = spellAsLetterNames(word)) {
            return spelled;
        }
        logger().warning("Letter-name override '" + word + "' unspellable (missing per-letter lexicon entries); " +
                         "falling back to the bundled pronunciation");
    }
    if (auto found = lexiconLookup(word, key)) {
        return found;
    }
    if (EnglishInitialisms::isCandidate(word)) {
        if (auto spelled = spellAsLetterNames(word)) {
            return spelled;
        }
    }
    if (key.empty()) {
        return std::nullopt;
    }
    std::optional<PhonemeTokens> tokens;
    try {
        tokens = fallback(key);
    } catch (...) {
        logger().warning("G2P failed on word '" + key + "': " + errorDescription(std::current_exception()));
        throw;
    }
    if (!tokens || tokens->empty()) {
        logger().warning("G2P returned nil for word '" + key + "' \u2014 skipping");
        return std::nullopt;
    }
    return joined(*tokens, "");
}

// The first lexicon that knows the word decides; an entry without tokens means "not from the lexicons".
std::optional<std::string> KokoroAneEnglishPhonemizer::lexiconLookup(const std::string& word,
                                                                     const std::string& key) const {
    if (const auto* tokens = find(caseSensitiveWordToPhonemes, word)) {
        return joinedTokens(tokens);
    }
    if (const auto* tokens = find(caseSensitiveWordToPhonemes, key)) {
        return joinedTokens(tokens);
    }
    return joinedTokens(find(wordToPhonemes, key));
}

std::optional<std::string> KokoroAneEnglishPhonemizer::spellAsLetterNames(const std::string& word) const {
    std::vector<std::string> letters;
    for (const auto character : platform::text::graphemeClusterViews(word)) {
        auto spelled = joinedTokens(find(caseSensitiveWordToPhonemes, character));
        if (!spelled) {
            return std::nullopt;
        }
        letters.push_back(std::move(*spelled));
    }
    if (letters.empty()) {
        return std::nullopt;
    }
    return joined(letters, " ");
}

} // namespace quorl
