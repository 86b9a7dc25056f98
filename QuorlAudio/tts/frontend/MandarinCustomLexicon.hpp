#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace quorl {

// The user's pronunciations of Mandarin words: each word to pinyin syllables, which join the syllable stream
// (erhua and tone sandhi apply to them), or to bopomofo text copied into the phoneme string as it is. Words
// compare under canonical equivalence (kept and looked up in NFC). An immutable value; any thread may use it.
class MandarinCustomLexicon {
public:
    // Phoneme text written into the output unchanged.
    struct Bopomofo {
        std::string text;

        bool operator==(const Bopomofo&) const = default;
    };
    using Token = std::variant<MandarinPinyinNormalizer::Syllable, Bopomofo>;
    using Entries = std::unordered_map<std::string, std::vector<Token>>;

    struct Match {
        // Characters of the text the word covers.
        std::size_t length;
        std::vector<Token> tokens;
    };

    MandarinCustomLexicon() = default;
    // Takes the tokens as they are, without checking them.
    explicit MandarinCustomLexicon(const Entries& entries);
    // Parses every token text, word by word in the map's order; throws KokoroAneError inputProcessingFailed for
    // an empty word, a word without tokens, or the first token that is neither a known pinyin syllable with its
    // tone digit ("zi4", "lv3", "lü3") nor "@" and characters of the Mandarin phoneme alphabet.
    static MandarinCustomLexicon fromTokenTexts(const std::map<std::string, std::vector<std::string>>& entries);

    static const MandarinCustomLexicon& empty();

    // A word per line: the word, white space, its tokens separated by white space; lines starting with "#" and
    // blank lines are skipped but counted. Lines end at a line feed, a carriage return before it dropped.
    // Throws KokoroAneError inputProcessingFailed naming the line of a word without tokens or of a word's second
    // definition, and after all lines the first bad token in line order.
    static MandarinCustomLexicon parse(std::string_view text);
    // parse of the file's text; read errors pass through, text that is not UTF-8 is refused.
    static MandarinCustomLexicon load(const std::filesystem::path& url);

    const Entries& entries() const { return entries_; }
    // The most characters of any word; 0 without words.
    std::size_t maxKeyCharCount() const { return maxKeyCharCount_; }
    bool isEmpty() const { return entries_.empty(); }

    // This lexicon's words overlaid by those of `other`, whose tokens win for a word in both.
    MandarinCustomLexicon merged(const MandarinCustomLexicon& other) const;

    // The longest word that starts at chars[start], if any.
    std::optional<Match> longestMatch(const std::vector<std::string>& chars, std::size_t start) const;

    bool operator==(const MandarinCustomLexicon&) const = default;

private:
    using WordTexts = std::vector<std::pair<std::string, std::vector<std::string>>>;

    static MandarinCustomLexicon fromWords(const WordTexts& words);
    void insert(const std::string& word, std::vector<Token> tokens);

    Entries entries_;
    std::size_t maxKeyCharCount_ = 0;
};

} // namespace quorl
