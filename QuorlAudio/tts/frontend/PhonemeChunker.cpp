#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl::PhonemeChunker {
namespace {

namespace text = platform::text;

// The text's characters with what the cutting needs to know of each.
class Characters {
public:
    explicit Characters(std::string_view text) : characters_(text::graphemeClusterViews(text)) {
        whiteSpace_.reserve(characters_.size());
        for (const std::string_view character : characters_) {
            whiteSpace_.push_back(text::isWhiteSpace(text::firstScalar(character)));
        }
    }

    std::size_t count() const { return characters_.size(); }
    bool isWhiteSpace(std::size_t index) const { return whiteSpace_[index]; }
    bool isCutPoint(std::size_t index, const std::set<std::string, std::less<>>& boundaryPunctuation) const {
        return whiteSpace_[index] || boundaryPunctuation.contains(characters_[index]);
    }

    // The first index from `index` on that is not white space; count() when there is none.
    std::size_t skippingWhiteSpace(std::size_t index) const {
        while (index < count() && whiteSpace_[index]) {
            ++index;
        }
        return index;
    }

    // Characters first to last - 1 as one text, without white space at either end; nothing when only white
    // space is left.
    void appendTrimmed(std::size_t first, std::size_t last, std::vector<std::string>& chunks) const {
        first = skippingWhiteSpace(first);
        while (last > first && whiteSpace_[last - 1]) {
            --last;
        }
        if (first < last) {
            const char* begin = characters_[first].data();
            const char* end = characters_[last - 1].data() + characters_[last - 1].size();
            chunks.emplace_back(begin, end);
        }
    }

private:
    std::vector<std::string_view> characters_;
    std::vector<bool> whiteSpace_;
};

// The end of the piece that starts at `start`: after the last cut point of the window, or the window's end.
std::size_t cutIndex(const Characters& characters, std::size_t start, std::size_t maxLength,
                     const std::set<std::string, std::less<>>& boundaryPunctuation) {
    const std::size_t end = start + maxLength;
    for (std::size_t index = end - 1; index > start; --index) {
        if (characters.isCutPoint(index, boundaryPunctuation)) {
            return index + 1;
        }
    }
    return end;
}

} // namespace

const std::set<std::string, std::less<>>& defaultBoundaryPunctuation() {
    static const std::set<std::string, std::less<>> punctuation{",", ".", ";", ":", "!", "?", "\u2026", "\u2014"};
    return punctuation;
}

std::vector<std::string> chunk(std::string_view text, int maxLength,
                               const std::set<std::string, std::less<>>& boundaryPunctuation) {
    const Characters characters(text);
    const auto limit = static_cast<std::size_t>(std::max(maxLength, 1));
    std::vector<std::string> chunks;
    std::size_t start = characters.skippingWhiteSpace(0);
    while (characters.count() - start > limit) {
        const std::size_t cut = cutIndex(characters, start, limit, boundaryPunctuation);
        characters.appendTrimmed(start, cut, chunks);
        start = characters.skippingWhiteSpace(cut);
    }
    characters.appendTrimmed(start, characters.count(), chunks);
    return chunks;
}

} // namespace quorl::PhonemeChunker
