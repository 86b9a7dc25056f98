#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"

#include "platform/text/WhiteSpace.hpp"

#include <string_view>
#include <utility>

namespace quorl {
namespace {

constexpr std::string_view wordBoundary = "\u2581";

// The language a tag's piece names: the piece without its angle brackets, or the piece itself when it has
// none.
std::string languageOfTag(const std::string& piece) {
    if (piece.size() >= 2 && piece.front() == '<' && piece.back() == '>') {
        return piece.substr(1, piece.size() - 2);
    }
    return piece;
}

// Appends the piece with every word boundary as a space, never letting two spaces stand together: runs of
// spaces collapse to one as the text is built, which gives the same text as collapsing afterwards.
void appendCollapsed(std::string& text, std::string_view piece) {
    for (std::size_t position = 0; position < piece.size();) {
        char next = piece[position];
        std::size_t length = 1;
        if (piece.compare(position, wordBoundary.size(), wordBoundary) == 0) {
            next = ' ';
            length = wordBoundary.size();
        }
        if (next != ' ' || text.empty() || text.back() != ' ') {
            text += next;
        }
        position += length;
    }
}

} // namespace

NemotronMultilingualTokenizer::NemotronMultilingualTokenizer(const std::filesystem::path& vocabPath,
                                                             std::set<std::int64_t> langTagTokenIds)
    : base_(vocabPath), langTagTokenIds_(std::move(langTagTokenIds)) {}

NemotronMultilingualDecoded NemotronMultilingualTokenizer::decode(std::span<const std::int64_t> ids) const {
    const auto& pieces = base_.idToToken();
    NemotronMultilingualDecoded decoded;
    std::string text;
    for (const std::int64_t id : ids) {
        const auto piece = pieces.find(id);
        if (langTagTokenIds_.contains(id)) {
            if (!decoded.detectedLanguage && piece != pieces.end()) {
                decoded.detectedLanguage = languageOfTag(piece->second);
            }
        } else if (piece != pieces.end()) {
            appendCollapsed(text, piece->second);
        }
    }
    decoded.text = platform::text::trimmingBlanks(std::string_view(text));
    return decoded;
}

std::optional<std::string> NemotronMultilingualTokenizer::rawToken(std::int64_t id) const { return base_.piece(id); }

std::optional<std::int64_t> NemotronMultilingualTokenizer::langTagTokenId(const std::string& language) const {
    const std::string tag = "<" + language + ">";
    for (const std::int64_t id : langTagTokenIds_) {
        if (base_.piece(id) == tag) {
            return id;
        }
    }
    return std::nullopt;
}

} // namespace quorl
