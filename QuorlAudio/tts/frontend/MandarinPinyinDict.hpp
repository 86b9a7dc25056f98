#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// The pronunciation dictionary of the Mandarin front end: the pinyin syllables of whole words, and the candidate
// readings of single characters (the first the default, more than one marking a polyphone). Read once from
// "pinyin_single.bin" and "pinyin_phrases.bin", then only read; any thread may use it.
class MandarinPinyinDict {
public:
    // A file ended, or held text that is not UTF-8, at the named place of a record.
    class LoadError : public platform::core::Error {
    public:
        enum class Kind { truncated };

        // "Mandarin G2P dict " + place + " is truncated".
        static LoadError truncated(const std::string& place);

        Kind kind() const { return Kind::truncated; }
        const std::string& place() const { return place_; }

    private:
        explicit LoadError(const std::string& place);

        std::string place_;
    };

    // A phrase exactly as stored to its syllables in reading order.
    using Phrases = std::unordered_map<std::string, std::vector<std::string>>;
    // The code point of one character to its readings.
    using Singles = std::unordered_map<std::uint32_t, std::vector<std::string>>;

    // Records back to back, little-endian, no header: a 32-bit code point, a count byte and that many readings,
    // each a length byte and that many bytes of UTF-8. A later record of the same key replaces an earlier one.
    // Throws LoadError at the first record that does not fit or whose text is not UTF-8.
    static Singles parseSingles(std::string_view data);
    // As parseSingles, each record keyed by a 16-bit byte length and that many bytes of UTF-8 phrase text.
    static Phrases parsePhrases(std::string_view data);

    // Reads and parses the singles file whole, then the phrases file; nothing of the second is read when the
    // first fails. Read errors pass through unchanged.
    static MandarinPinyinDict load(const std::filesystem::path& singlesURL, const std::filesystem::path& phrasesURL);

    MandarinPinyinDict(Phrases phrases, Singles singles);

    const Phrases& phrases() const { return phrases_; }
    const Singles& singles() const { return singles_; }
    // The most user-perceived characters of any phrase key, and at least 1.
    int maxPhraseCharCount() const { return maxPhraseCharCount_; }

private:
    Phrases phrases_;
    Singles singles_;
    int maxPhraseCharCount_;
};

} // namespace quorl
