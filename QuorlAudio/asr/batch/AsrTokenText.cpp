#include "QuorlAudio/asr/batch/AsrTokenText.hpp"

#include "QuorlAudio/asr/batch/SequenceMatcher.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/WordPieceText.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <string_view>
#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;

constexpr double secondsPerFrame = ASRConstants::secondsPerEncoderFrame;
constexpr double minimumTokenSeconds = 0.08;
constexpr double minimumEndGap = 0.001;
constexpr int boundedSearchTokens = 15;

struct TimedToken {
    int tokenId;
    int timestamp;
    float confidence;
    int duration;
};

// Encoder frames between a token's emission and its start: "TDT_EMISSION_DELAY_FRAMES", else 1.
std::int64_t emissionDelayFrames() {
    const auto value = platform::sys::environmentValue("TDT_EMISSION_DELAY_FRAMES");
    return value ? platform::text::decimalInteger(*value).value_or(1) : 1;
}

// The token's frame less the delay, in seconds, never before 0. A delay so extreme that the difference leaves
// the 64-bit range saturates instead of wrapping.
double startSeconds(std::int64_t frame, std::int64_t delay) {
    std::int64_t shifted = 0;
    if (__builtin_sub_overflow(frame, delay, &shifted)) {
        shifted = delay < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<double>(std::max<std::int64_t>(shifted, 0)) * secondsPerFrame;
}

// The tuples of the four lists, as many as the shortest holds, ordered by frame (equal frames keep their
// order).
std::vector<TimedToken> sortedTokens(const std::vector<int>& tokenIds, const std::vector<int>& timestamps,
                                     const std::vector<float>& confidences, const std::vector<int>& durations) {
    const std::size_t count = std::min({tokenIds.size(), timestamps.size(), confidences.size(), durations.size()});
    std::vector<TimedToken> tokens;
    tokens.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        tokens.push_back(TimedToken{.tokenId = tokenIds[index],
                                    .timestamp = timestamps[index],
                                    .confidence = confidences[index],
                                    .duration = durations[index]});
    }
    std::ranges::stable_sort(tokens, std::less(), &TimedToken::timestamp);
    return tokens;
}

} // namespace

AsrTokenText::AsrTokenText(AppLogger logger, int boundarySearchFrames, std::shared_ptr<const Vocabulary> vocabulary)
    : logger_(std::move(logger)), boundarySearchFrames_(boundarySearchFrames), vocabulary_(std::move(vocabulary)) {}

float AsrTokenText::calculateConfidence(int tokenCount, bool isEmpty,
                                        const std::vector<float>& tokenConfidences) const {
    if (isEmpty) {
        return ASRConstants::minConfidence;
    }
    if (tokenConfidences.empty() || tokenConfidences.size() != static_cast<std::size_t>(tokenCount)) {
        logger_.warning("Expected token confidences but got none - this should not happen");
        return 0.5f;
    }
    const float mean =
        std::accumulate(tokenConfidences.begin(), tokenConfidences.end(), 0.0f) / static_cast<float>(tokenCount);
    const float capped = std::isnan(mean) ? ASRConstants::maxConfidence : std::min(mean, ASRConstants::maxConfidence);
    return std::max(capped, ASRConstants::minConfidence);
}

std::vector<TokenTiming> AsrTokenText::createTokenTimings(const std::vector<int>& tokenIds,
                                                          const std::vector<int>& timestamps,
                                                          const std::vector<float>& confidences,
                                                          const std::vector<int>& tokenDurations) const {
    const std::size_t count = tokenIds.size();
    if (count == 0 || timestamps.size() != count || confidences.size() != count) {
        return {};
    }
    const bool hasDurations = !tokenDurations.empty();
    const auto tokens =
        sortedTokens(tokenIds, timestamps, confidences, hasDurations ? tokenDurations : std::vector<int>(count, 0));
    const std::int64_t delay = emissionDelayFrames();
    std::vector<TokenTiming> timings;
    timings.reserve(tokens.size());
    for (std::size_t index = 0; index < tokens.size(); ++index) {
        const TimedToken& token = tokens[index];
        const double start = startSeconds(token.timestamp, delay);
        double end = start + minimumTokenSeconds;
        if (hasDurations && token.duration > 0) {
            end = std::max(start + token.duration * secondsPerFrame, start + minimumTokenSeconds);
        } else if (index + 1 < tokens.size()) {
            end = std::max(startSeconds(tokens[index + 1].timestamp, delay), start + minimumTokenSeconds);
        }
        const auto piece = vocabulary_->find(token.tokenId);
        const std::string text =
            piece != vocabulary_->end() ? piece->second : concatenated({"token_", std::to_string(token.tokenId)});
        timings.push_back(TokenTiming{
            .token = replacingWordBoundaries(text),
            .tokenId = token.tokenId,
            .startTime = start,
            .endTime = std::max(end, start + minimumEndGap),
            .confidence = token.confidence,
        });
    }
    return timings;
}

AsrTokenText::DeduplicatedTokens AsrTokenText::removeDuplicateTokenSequence(const std::vector<int>& previous,
                                                                            const std::vector<int>& current,
                                                                            int maxOverlap) const {
    const auto& punctuation = ASRConstants::punctuationTokens;
    const bool punctuationSeam = !previous.empty() && !current.empty() && previous.back() == current.front() &&
                                 std::ranges::find(punctuation, current.front()) != punctuation.end();
    const int punctuationCount = punctuationSeam ? 1 : 0;
    const std::vector<int> working(current.begin() + punctuationCount, current.end());
    const auto without = [&](int leading) { return std::vector<int>(working.begin() + leading, working.end()); };

    if (const auto match = SequenceMatcher::findSuffixPrefixMatch(previous, working, maxOverlap, std::equal_to())) {
        logger_.debug(concatenated({"Found exact suffix-prefix overlap of length ", std::to_string(match->length)}));
        return DeduplicatedTokens{.deduped = without(match->length), .removedCount = match->length + punctuationCount};
    }
    const int boundary = boundarySearchFrames_;
    const int searchLength = std::min(static_cast<int>(previous.size()), boundedSearchTokens);
    if (const auto match =
            SequenceMatcher::findBoundedSubstringMatch(previous, working, searchLength, boundary, std::equal_to())) {
        logger_.debug(concatenated({"Found duplicate sequence length=", std::to_string(match->length),
                                    " at currStart=", std::to_string(match->rightStartIndex),
                                    " (boundarySearch=", std::to_string(boundary), ")"}));
        const int removed = match->rightStartIndex + match->length;
        return DeduplicatedTokens{.deduped = without(removed), .removedCount = removed + punctuationCount};
    }
    return DeduplicatedTokens{.deduped = working, .removedCount = punctuationCount};
}

std::string AsrTokenText::convertTokensToText(const std::vector<int>& tokenIds) const {
    if (tokenIds.empty()) {
        return {};
    }
    std::string joined;
    for (const int tokenId : tokenIds) {
        if (const auto piece = vocabulary_->find(tokenId); piece != vocabulary_->end()) {
            joined += piece->second;
        }
    }
    return wordPieceText(joined);
}

} // namespace quorl
