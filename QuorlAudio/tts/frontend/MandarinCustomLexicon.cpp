#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/MandarinBopomofoMap.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <unordered_set>

namespace quorl {
namespace {

using Syllable = MandarinPinyinNormalizer::Syllable;

KokoroAneError failure(const std::string& text) {
    return KokoroAneError::inputProcessingFailed("MandarinCustomLexicon: " + text);
}

// Every character a bopomofo token may hold: the phoneme alphabet's symbols, the tone digits and punctuation.
const std::unordered_set<std::string>& allowedBopomofo() {
    static const auto allowed = [] {
        std::unordered_set<std::string> characters{"1", "2", "3", "4", "5"};
        const auto addAll = [&](const auto& map) {
            for (const auto& [key, symbols] : map) {
                for (auto& character : platform::text::graphemeClusters(symbols)) {
                    characters.insert(std::move(character));
                }
            }
        };
        addAll(MandarinBopomofoMap::initialMap());
        addAll(MandarinBopomofoMap::finalMap());
        characters.insert(MandarinBopomofoMap::allowedPunctuation().begin(),
                          MandarinBopomofoMap::allowedPunctuation().end());
        return characters;
    }();
    return allowed;
}

MandarinCustomLexicon::Token bopomofoToken(const std::string& word, std::string_view text) {
    if (text.empty()) {
        throw failure("'" + word + "' has a bare '@' token");
    }
    for (const auto character : platform::text::graphemeClusterViews(text)) {
        if (!allowedBopomofo().contains(std::string(character))) {
            throw failure("'" + word + "' bopomofo token contains char '" + std::string(character) +
                          "' that is not in the v1.1-zh vocab");
        }
    }
    return MandarinCustomLexicon::Bopomofo{std::string(text)};
}

MandarinCustomLexicon::Token syllableToken(const std::string& word, const std::string& text) {
    const auto syllable = MandarinPinyinNormalizer::parseDigitForm(text);
    if (!syllable) {
        throw failure("'" + word + "' has invalid pinyin token '" + text + "' (expected base+tone-digit, e.g. 'zi4')");
    }
    if (!MandarinBopomofoMap::encode(syllable->base, syllable->tone, false)) {
        throw failure("'" + word + "' token '" + text + "' parsed but MandarinBopomofoMap can't encode it");
    }
    return *syllable;
}

MandarinCustomLexicon::Token token(const std::string& word, const std::string& text) {
    if (text.empty()) {
        throw failure("'" + word + "' has an empty token");
    }
    if (text.starts_with('@')) {
        return bopomofoToken(word, std::string_view(text).substr(1));
    }
    return syllableToken(word, text);
}

// The line's pieces between runs of white space.
std::vector<std::string> fields(std::string_view line) {
    std::vector<std::string> pieces;
    std::string piece;
    for (std::size_t position = 0; position < line.size();) {
        const std::size_t start = position;
        if (platform::text::isWhiteSpace(platform::text::decodeNextScalar(line, position))) {
            if (!piece.empty()) {
                pieces.push_back(std::move(piece));
                piece.clear();
            }
        } else {
            piece.append(line.substr(start, position - start));
        }
    }
    if (!piece.empty()) {
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

// The line without a carriage return before its line feed and without spaces and tabs at either end.
std::string_view trimmedLine(std::string_view line) {
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

} // namespace

MandarinCustomLexicon::MandarinCustomLexicon(const Entries& entries) {
    for (const auto& [word, tokens] : entries) {
        insert(word, tokens);
    }
}

MandarinCustomLexicon
MandarinCustomLexicon::fromTokenTexts(const std::map<std::string, std::vector<std::string>>& entries) {
    return fromWords(WordTexts(entries.begin(), entries.end()));
}

MandarinCustomLexicon MandarinCustomLexicon::fromWords(const WordTexts& words) {
    MandarinCustomLexicon lexicon;
    for (const auto& [word, texts] : words) {
        if (word.empty()) {
            throw failure("empty word");
        }
        if (texts.empty()) {
            throw failure("'" + word + "' has no tokens");
        }
        std::vector<Token> tokens;
        for (const auto& text : texts) {
            tokens.push_back(token(word, text));
        }
        lexicon.insert(word, std::move(tokens));
    }
    return lexicon;
}

const MandarinCustomLexicon& MandarinCustomLexicon::empty() {
    static const MandarinCustomLexicon lexicon;
    return lexicon;
}

MandarinCustomLexicon MandarinCustomLexicon::parse(std::string_view text) {
    WordTexts words;
    std::unordered_set<std::string> defined;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start <= text.size(); ++lineNumber) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const auto line = trimmedLine(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        auto pieces = fields(line);
        if (pieces.size() < 2) {
            throw failure("line " + std::to_string(lineNumber + 1) + " has no tokens: '" + std::string(line) + "'");
        }
        if (!defined.insert(platform::text::nfc(pieces.front())).second) {
            throw failure("duplicate word '" + pieces.front() + "' on line " + std::to_string(lineNumber + 1));
        }
        words.emplace_back(pieces.front(), std::vector<std::string>(pieces.begin() + 1, pieces.end()));
    }
    return fromWords(words);
}

MandarinCustomLexicon MandarinCustomLexicon::load(const std::filesystem::path& url) {
    const auto bytes = platform::sys::wholeFile(url);
    if (!platform::text::isWellFormedUtf8(bytes)) {
        throw failure("file is not valid UTF-8 at " + url.string());
    }
    return parse(bytes);
}

void MandarinCustomLexicon::insert(const std::string& word, std::vector<Token> tokens) {
    auto key = platform::text::nfc(word);
    maxKeyCharCount_ = std::max(maxKeyCharCount_, platform::text::characterCount(key));
    entries_.insert_or_assign(std::move(key), std::move(tokens));
}

MandarinCustomLexicon MandarinCustomLexicon::merged(const MandarinCustomLexicon& other) const {
    MandarinCustomLexicon result = *this;
    for (const auto& [word, tokens] : other.entries_) {
        result.insert(word, tokens);
    }
    return result;
}

std::optional<MandarinCustomLexicon::Match> MandarinCustomLexicon::longestMatch(const std::vector<std::string>& chars,
                                                                                std::size_t start) const {
    if (entries_.empty() || start >= chars.size()) {
        return std::nullopt;
    }
    for (std::size_t length = std::min(chars.size() - start, maxKeyCharCount_); length > 0; --length) {
        std::string word;
        for (std::size_t i = start; i < start + length; ++i) {
            word += chars[i];
        }
        const auto found = entries_.find(platform::text::nfc(word));
        if (found != entries_.end()) {
            return Match{length, found->second};
        }
    }
    return std::nullopt;
}

} // namespace quorl
