#include "QuorlAudio/tts/pockettts/SentencePieceTokenizer.hpp"

#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl {
namespace {

constexpr std::string_view wordBoundary = "\u2581";

std::size_t scalarCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t position = 0; position < text.size(); ++count) {
        platform::text::decodeNextScalar(text, position);
    }
    return count;
}

// Byte offsets of every scalar of the text, and the text's size at the end.
std::vector<std::size_t> scalarStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    starts.reserve(text.size() + 1);
    for (std::size_t position = 0; position < text.size();) {
        starts.push_back(position);
        platform::text::decodeNextScalar(text, position);
    }
    starts.push_back(text.size());
    return starts;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

std::string withWordBoundaries(std::string_view text) {
    std::string prepared(wordBoundary);
    prepared.reserve(text.size() * 2);
    for (const char byte : text) {
        if (byte == ' ') {
            prepared += wordBoundary;
        } else {
            prepared += byte;
        }
    }
    return prepared;
}

bool reachable(float best) { return best != -std::numeric_limits<float>::infinity() && !std::isnan(best); }

struct BackPointer {
    std::int64_t id = 0;
    std::size_t start = 0;
};

} // namespace

SentencePieceTokenizer::SentencePieceTokenizer(std::string_view modelData)
    : pieces_(SentencePieceProto::parse(modelData)) {
    pieceToId_.reserve(pieces_.size());
    for (std::size_t index = 0; index < pieces_.size(); ++index) {
        const auto& text = pieces_[index].piece;
        pieceToId_.insert_or_assign(isAscii(text) ? text : platform::text::nfc(text), static_cast<std::int64_t>(index));
        maxPieceLength_ = std::max(maxPieceLength_, scalarCount(text));
    }
}

std::vector<std::int64_t> SentencePieceTokenizer::encode(std::string_view text) const {
    if (text.empty()) {
        return {};
    }
    return viterbiDecode(withWordBoundaries(text));
}

std::int64_t SentencePieceTokenizer::id(std::string_view piece) const {
    return lookUp(piece, isAscii(piece) || platform::text::nfc(piece) == piece);
}

std::int64_t SentencePieceTokenizer::lookUp(std::string_view candidate, bool normalized) const {
    const auto found = normalized ? pieceToId_.find(candidate) : pieceToId_.find(platform::text::nfc(candidate));
    return found == pieceToId_.end() ? -1 : found->second;
}

std::vector<std::int64_t> SentencePieceTokenizer::viterbiDecode(std::string_view text) const {
    const auto starts = scalarStarts(text);
    const std::size_t count = starts.size() - 1;
    // A composed text has only composed substrings, so it is looked up as it is; otherwise every candidate is
    // composed before the lookup.
    const bool normalized = isAscii(text) || platform::text::nfc(text) == text;
    std::vector<float> best(count + 1, -std::numeric_limits<float>::infinity());
    std::vector<BackPointer> back(count + 1);
    best[0] = 0.0F;
    for (std::size_t start = 0; start < count; ++start) {
        if (!reachable(best[start])) {
            continue;
        }
        const std::size_t longest = std::min(maxPieceLength_, count - start);
        for (std::size_t length = 1; length <= longest; ++length) {
            const std::size_t end = start + length;
            const auto id = lookUp(text.substr(starts[start], starts[end] - starts[start]), normalized);
            if (id < 0) {
                continue;
            }
            const float score = pieces_[static_cast<std::size_t>(id)].score + best[start];
            // Only a strictly better score replaces, so among ties the earliest start (longest last piece) wins.
            if (score > best[end]) {
                best[end] = score;
                back[end] = BackPointer{.id = id, .start = start};
            }
        }
    }
    if (!reachable(best[count])) {
        return fallbackEncode(text, starts, normalized);
    }
    std::vector<std::int64_t> ids;
    for (std::size_t position = count; position > 0; position = back[position].start) {
        ids.push_back(back[position].id);
    }
    std::reverse(ids.begin(), ids.end());
    return ids;
}

std::vector<std::int64_t> SentencePieceTokenizer::fallbackEncode(std::string_view text,
                                                                 const std::vector<std::size_t>& starts,
                                                                 bool normalized) const {
    std::vector<std::int64_t> ids;
    for (std::size_t index = 0; index + 1 < starts.size(); ++index) {
        const auto id = lookUp(text.substr(starts[index], starts[index + 1] - starts[index]), normalized);
        if (id >= 0) {
            ids.push_back(id);
        }
    }
    return ids;
}

} // namespace quorl
