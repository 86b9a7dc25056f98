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

// Appends a space unless the text already ends in one: runs of spaces collapse to one as the text is built,
// which gives the same text as collapsing them afterwards.
void appendSpace(std::string& text) {
    if (text.empty() || text.back() != ' ') {
        text += ' ';
    }
}

// Appends text free of word boundaries whole, each run of spaces in it as one space.
void appendRun(std::string& text, std::string_view run) {
    while (!run.empty()) {
        const auto space = run.find(' ');
        text.append(run.substr(0, space));
        if (space == std::string_view::npos) {
            return;
        }
        appendSpace(text);
        const auto next = run.find_first_not_of(' ', space);
        if (next == std::string_view::npos) {
            return;
        }
        run.remove_prefix(next);
    }
}

// Appends the piece with every word boundary as a space.
void appendPiece(std::string& text, std::string_view piece) {
    for (;;) {
        const auto boundary = piece.find(wordBoundary);
        appendRun(text, piece.substr(0, boundary));
        if (boundary == std::string_view::npos) {
            return;
        }
        appendSpace(text);
        piece.remove_prefix(boundary + wordBoundary.size());
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
            appendPiece(text, piece->second);
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
