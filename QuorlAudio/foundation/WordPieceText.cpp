#include "QuorlAudio/foundation/WordPieceText.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl {
namespace {

std::string withoutOuterBlanks(const std::string& text) {
    std::size_t begin = text.size();
    std::size_t end = 0;
    for (std::size_t position = 0; position < text.size();) {
        const std::size_t start = position;
        if (!platform::text::isBlank(platform::text::decodeNextScalar(text, position))) {
            begin = std::min(begin, start);
            end = position;
        }
    }
    return begin < end ? text.substr(begin, end - begin) : std::string();
}

} // namespace

std::string replacingWordBoundaries(std::string_view text) {
    constexpr std::string_view wordBoundary = ASRConstants::sentencePieceWordBoundary;
    std::string replaced;
    replaced.reserve(text.size());
    for (std::size_t start = 0;;) {
        const std::size_t found = text.find(wordBoundary, start);
        replaced.append(text.substr(start, found == std::string_view::npos ? found : found - start));
        if (found == std::string_view::npos) {
            return replaced;
        }
        replaced.push_back(' ');
        start = found + wordBoundary.size();
    }
}

std::string wordPieceText(std::string_view joinedPieces) {
    return withoutOuterBlanks(replacingWordBoundaries(joinedPieces));
}

} // namespace quorl
