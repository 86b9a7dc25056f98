#include "QuorlAudio/tts/supertonic3/Supertonic3TextChunker.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace quorl::Supertonic3TextChunker {
namespace {

using platform::text::characterCount;
using platform::text::trimmingWhiteSpaceAndLineBreaks;
using Chunks = std::vector<std::string>;

// Compared case-sensitively as plain suffixes of the text since the last cut.
constexpr std::array<std::string_view, 21> abbreviations{"Dr.", "Mr.",   "Mrs.", "Ms.",   "Prof.", "Sr.",  "Jr.",
                                                         "St.", "Ave.",  "Rd.",  "Blvd.", "Dept.", "Inc.", "Ltd.",
                                                         "Co.", "Corp.", "etc.", "vs.",   "i.e.",  "e.g.", "Ph.D."};

const platform::text::Regex& paragraphBreak() {
    static const platform::text::Regex regex("\\n\\s*\\n");
    return regex;
}

const platform::text::Regex& sentenceEnd() {
    static const platform::text::Regex regex("([.!?])\\s+");
    return regex;
}

bool endsWithAbbreviation(std::string_view text) {
    for (const auto abbreviation : abbreviations) {
        if (text.ends_with(abbreviation)) {
            return true;
        }
    }
    return false;
}

// The pieces between paragraph breaks, empty ones included; the whole text when there is no break.
std::vector<std::string_view> splitParagraphs(std::string_view text) {
    std::vector<std::string_view> paragraphs;
    std::size_t cut = 0;
    for (const auto& match : paragraphBreak().matches(text)) {
        paragraphs.push_back(text.substr(cut, match.range().start - cut));
        cut = match.range().end;
    }
    if (cut < text.size()) {
        paragraphs.push_back(text.substr(cut));
    }
    return paragraphs.empty() ? std::vector{text} : paragraphs;
}

// Each sentence with its mark and the white space after it.
std::vector<std::string_view> splitSentences(std::string_view text) {
    std::vector<std::string_view> sentences;
    std::size_t cut = 0;
    for (const auto& match : sentenceEnd().matches(text)) {
        const auto range = match.range();
        std::string candidate(platform::text::trimmingBlanks(text.substr(cut, range.start - cut)));
        candidate.append(match.captured(text, 1));
        if (!endsWithAbbreviation(candidate)) {
            sentences.push_back(text.substr(cut, range.end - cut));
            cut = range.end;
        }
    }
    if (cut < text.size()) {
        sentences.push_back(text.substr(cut));
    }
    return sentences.empty() ? std::vector{text} : sentences;
}

std::vector<std::string_view> splitAtCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
        parts.push_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    parts.push_back(text);
    return parts;
}

// The chunk being filled: pieces joined by a separator while they fit.
class Packer {
public:
    Packer(int maxLen, Chunks& output) : maxLen_(static_cast<std::size_t>(maxLen)), output_(output) {}

    bool isOversized(std::string_view piece) const { return characterCount(piece) > maxLen_; }

    // Adds the piece, first emitting the chunk when the piece and the separator would take it past the limit.
    void add(const std::string& piece, std::string_view separator) {
        if (!current_.empty() &&
            characterCount(current_) + characterCount(piece) + characterCount(separator) > maxLen_) {
            output_.push_back(current_);
            current_ = piece;
            return;
        }
        current_.append(current_.empty() ? "" : separator).append(piece);
    }

    void flush() {
        std::string trimmed = trimmingWhiteSpaceAndLineBreaks(current_);
        if (!trimmed.empty()) {
            output_.push_back(std::move(trimmed));
        }
        current_.clear();
    }

private:
    std::size_t maxLen_;
    Chunks& output_;
    std::string current_;
};

void packWords(std::string_view part, int maxLen, Chunks& output) {
    Packer packer(maxLen, output);
    for (const auto& word : words(part)) {
        packer.add(word, " ");
    }
    packer.flush();
}

// Packs the trimmed, non-empty pieces joined by `separator`; a piece longer than the limit goes on its own to
// `packOversized`, after the chunk filled so far.
void packPieces(const std::vector<std::string_view>& pieces, std::string_view separator, int maxLen, Chunks& output,
                void (*packOversized)(std::string_view, int, Chunks&)) {
    Packer packer(maxLen, output);
    for (const auto piece : pieces) {
        const std::string trimmed = trimmingWhiteSpaceAndLineBreaks(piece);
        if (trimmed.empty()) {
            continue;
        }
        if (packer.isOversized(trimmed)) {
            packer.flush();
            packOversized(trimmed, maxLen, output);
        } else {
            packer.add(trimmed, separator);
        }
    }
    packer.flush();
}

void packCommas(std::string_view sentence, int maxLen, Chunks& output) {
    packPieces(splitAtCommas(sentence), ", ", maxLen, output, packWords);
}

void packSentences(std::string_view paragraph, int maxLen, Chunks& output) {
    packPieces(splitSentences(paragraph), " ", maxLen, output, packCommas);
}

} // namespace

// A limit below zero counts as zero: every word is then a chunk of its own.
Chunks chunk(std::string_view text, int maxLen) {
    maxLen = std::max(maxLen, 0);
    Chunks chunks;
    const std::string trimmed = trimmingWhiteSpaceAndLineBreaks(text);
    for (const auto piece : splitParagraphs(trimmed)) {
        const std::string paragraph = trimmingWhiteSpaceAndLineBreaks(piece);
        if (paragraph.empty()) {
            continue;
        }
        if (characterCount(paragraph) <= static_cast<std::size_t>(maxLen)) {
            chunks.push_back(paragraph);
        } else {
            packSentences(paragraph, maxLen, chunks);
        }
    }
    return chunks;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> found;
    std::u32string word;
    for (const char32_t scalar : platform::text::decodeScalars(text)) {
        if (!platform::text::isWhiteSpace(scalar)) {
            word.push_back(scalar);
        } else if (!word.empty()) {
            found.push_back(platform::text::encodeScalars(word));
            word.clear();
        }
    }
    if (!word.empty()) {
        found.push_back(platform::text::encodeScalars(word));
    }
    return found;
}

} // namespace quorl::Supertonic3TextChunker
