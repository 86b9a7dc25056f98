#include "QuorlAudio/foundation/TokenLanguageFilter.hpp"

#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace quorl::TokenLanguageFilter {
namespace {

struct ScalarRange {
    char32_t first;
    char32_t last;
};

// Latin: printable ASCII, Latin-1, Latin Extended-A and -B, combining diacritics, Latin Extended Additional.
constexpr std::array<ScalarRange, 6> latinRanges{{
    {0x0020, 0x007F},
    {0x00A0, 0x00FF},
    {0x0100, 0x017F},
    {0x0180, 0x024F},
    {0x0300, 0x036F},
    {0x1E00, 0x1EFF},
}};

// ASCII without letters and control characters, then the Cyrillic block.
constexpr std::array<ScalarRange, 4> cyrillicRanges{{
    {0x0020, 0x0040},
    {0x005B, 0x0060},
    {0x007B, 0x007F},
    {0x0400, 0x04FF},
}};

// ASCII without letters and control characters, combining diacritics with Greek and Coptic, Greek Extended.
constexpr std::array<ScalarRange, 5> greekRanges{{
    {0x0020, 0x0040},
    {0x005B, 0x0060},
    {0x007B, 0x007F},
    {0x0300, 0x03FF},
    {0x1F00, 0x1FFF},
}};

std::span<const ScalarRange> rangesOf(Script script) {
    switch (script) {
    case Script::latin: return latinRanges;
    case Script::cyrillic: return cyrillicRanges;
    case Script::greek: return greekRanges;
    }
    return {};
}

bool accepts(std::span<const ScalarRange> ranges, char32_t scalar) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [scalar](const ScalarRange& range) { return range.first <= scalar && scalar <= range.last; });
}

constexpr char32_t wordBoundary = U'\u2581';

enum class WordBoundaries { count, skip };

// Skipping the word-boundary marker is the same as matching the piece with every marker removed, without
// building that string.
bool scalarsMatch(std::string_view text, Script script, WordBoundaries wordBoundaries) {
    const auto ranges = rangesOf(script);
    for (std::size_t position = 0; position < text.size();) {
        const char32_t scalar = platform::text::decodeNextScalar(text, position);
        const bool skipped = wordBoundaries == WordBoundaries::skip && scalar == wordBoundary;
        if (!skipped && !accepts(ranges, scalar)) {
            return false;
        }
    }
    return true;
}

bool qualifies(int tokenId, const std::unordered_map<int, std::string>& vocabulary, Script script) {
    const auto piece = vocabulary.find(tokenId);
    return piece != vocabulary.end() && scalarsMatch(piece->second, script, WordBoundaries::skip);
}

// Strictly greater keeps the earlier candidate on equal logits; a NaN logit loses to any number.
bool beats(float candidate, float incumbent) {
    return candidate > incumbent || (std::isnan(incumbent) && !std::isnan(candidate));
}

// The softmax share of the chosen logit over all logits; 0 when the softmax is undefined (no finite
// maximum, or a NaN logit making the sum NaN).
float probability(float chosenLogit, std::span<const float> logits) {
    float maximum = -std::numeric_limits<float>::infinity();
    for (const float logit : logits) {
        maximum = std::max(maximum, logit);
    }
    if (!std::isfinite(maximum)) {
        return 0.0f;
    }
    float total = 0.0f;
    for (const float logit : logits) {
        total += std::exp(logit - maximum);
    }
    if (!(total > 0.0f)) {
        return 0.0f;
    }
    return std::clamp(std::exp(chosenLogit - maximum) / total, 0.0f, 1.0f);
}

} // namespace

std::optional<Result> filterTopK(std::span<const int> topKIds, std::span<const float> topKLogits,
                                 const std::unordered_map<int, std::string>& vocabulary, Script preferredScript) {
    const std::size_t count = std::min(topKIds.size(), topKLogits.size());
    std::optional<std::size_t> best;
    for (std::size_t position = 0; position < count; ++position) {
        if (!qualifies(topKIds[position], vocabulary, preferredScript)) {
            continue;
        }
        if (!best || beats(topKLogits[position], topKLogits[*best])) {
            best = position;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    const auto logits = topKLogits.first(count);
    return Result{.tokenId = topKIds[*best], .probability = probability(topKLogits[*best], logits)};
}

bool matchesScript(std::string_view text, Script script) { return scalarsMatch(text, script, WordBoundaries::count); }

} // namespace quorl::TokenLanguageFilter
