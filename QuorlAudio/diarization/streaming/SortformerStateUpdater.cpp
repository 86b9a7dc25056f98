#include "QuorlAudio/diarization/streaming/SortformerStateUpdater.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <utility>

namespace quorl {
namespace {

constexpr int S = SortformerConfig::numSpeakers;
constexpr int D = SortformerConfig::preEncoderDims;
constexpr float minusInfinity = -std::numeric_limits<float>::infinity();
constexpr float plusInfinity = std::numeric_limits<float>::infinity();
constexpr float ln2 = 0.6931472F;
constexpr float ln4 = 1.3862944F;
// A speaker counts as active in a frame above this probability, whatever the configuration says.
constexpr float activeProbability = 0.5F;

std::size_t at(int index) { return static_cast<std::size_t>(index); }

std::vector<float> slice(std::span<const float> values, int begin, int end) {
    return {values.begin() + begin, values.begin() + end};
}

void append(std::vector<float>& to, std::span<const float> values) {
    to.insert(to.end(), values.begin(), values.end());
}

void dropFront(std::vector<float>& values, int count) { values.erase(values.begin(), values.begin() + count); }

std::string tooShort(const std::string& what, int needed, std::size_t actual) {
    return "Not enough " + what + " streaming update: " + std::to_string(needed) + " > " + std::to_string(actual);
}

// A speaker's k best frames among those not ruled out, best first; the earlier frame wins a tie.
std::vector<int> bestFramesOfSpeaker(const std::vector<float>& scores, int frameCount, int speaker, int k) {
    std::vector<int> frames;
    for (int t = 0; t < frameCount; ++t) {
        if (scores[at(t * S + speaker)] != minusInfinity) {
            frames.push_back(t);
        }
    }
    const auto kept = std::min(at(k), frames.size());
    std::partial_sort(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(kept), frames.end(),
                      [&](int a, int b) {
                          const float scoreA = scores[at(a * S + speaker)];
                          const float scoreB = scores[at(b * S + speaker)];
                          return scoreA != scoreB ? scoreA > scoreB : a < b;
                      });
    frames.resize(kept);
    return frames;
}

} // namespace

SortformerStateUpdater::SortformerStateUpdater(SortformerConfig config) : config_(std::move(config)) {}

StreamingUpdateResult SortformerStateUpdater::streamingUpdate(SortformerStreamingState& state,
                                                              std::span<const float> chunk,
                                                              std::span<const float> preds, int leftContext,
                                                              int rightContext) const {
    const int cacheOnEntry = state.spkcacheLength;
    const int fifoOnEntry = state.fifoLength;
    if (fifoOnEntry > 0) {
        const int need = (cacheOnEntry + fifoOnEntry) * S;
        if (preds.size() < at(need)) {
            throw SortformerError::insufficientPredsLength(tooShort("predictions for FIFO in", need, preds.size()));
        }
        state.fifoPreds = slice(preds, cacheOnEntry * S, need);
    }

    const int chunkFrames = static_cast<int>(chunk.size() / D);
    const int core = chunkFrames - leftContext - rightContext;
    if (core < 0) {
        // Fewer frames than the two contexts cannot come from a model step; refuse rather than cut backwards.
        throw SortformerError::insufficientChunkLength(
            tooShort("chunk embeddings for", (leftContext + rightContext) * D, chunk.size()));
    }
    const auto coreEmbeddings = chunk.subspan(at(leftContext * D), at(core * D));

    const int base = cacheOnEntry + fifoOnEntry + leftContext;
    const int coreStart = base * S;
    const int coreEnd = (base + core) * S;
    const int tentEnd = (base + core + rightContext) * S;
    if (preds.size() < at(tentEnd)) {
        throw SortformerError::insufficientPredsLength(
            preds.size() < at(coreEnd) ? tooShort("predictions for chunk in", coreEnd, preds.size())
                                       : tooShort("predictions for tentative predictions in", tentEnd, preds.size()));
    }
    StreamingUpdateResult result{
        .confirmed = slice(preds, coreStart, coreEnd), .tentative = slice(preds, coreEnd, tentEnd), .numSpeakers = S};

    append(state.fifo, coreEmbeddings);
    state.fifoLength += core;
    if (!state.fifoPreds) {
        state.fifoPreds.emplace();
    }
    append(*state.fifoPreds, result.confirmed);

    if (state.fifoLength > config_.fifoLen) {
        moveOverflowToCache(state, preds, cacheOnEntry);
    }
    return result;
}

void SortformerStateUpdater::moveOverflowToCache(SortformerStreamingState& state, std::span<const float> preds,
                                                 int cacheOnEntry) const {
    const int popLen =
        std::min(state.fifoLength, std::max(config_.spkcacheUpdatePeriod, state.fifoLength - config_.fifoLen));
    const std::vector<float> popEmbs = slice(state.fifo, 0, popLen * D);
    const std::vector<float> popPreds = slice(*state.fifoPreds, 0, popLen * S);
    updateSilenceProfile(state, popEmbs, popPreds, popLen);

    dropFront(state.fifo, popLen * D);
    state.fifoLength -= popLen;
    dropFront(*state.fifoPreds, popLen * S);

    append(state.spkcache, popEmbs);
    state.spkcacheLength += popLen;
    if (state.spkcachePreds) {
        append(*state.spkcachePreds, popPreds);
    }
    if (state.spkcacheLength <= config_.spkcacheLen) {
        return;
    }
    if (!state.spkcachePreds) {
        // The cache's own frames were never kept with predictions: this step's model output holds them.
        std::vector<float> cachePreds = cacheOnEntry < 1 ? std::vector<float>{} : slice(preds, 0, cacheOnEntry * S);
        append(cachePreds, popPreds);
        state.spkcachePreds = std::move(cachePreds);
    }
    compressSpkcache(state);
}

void SortformerStateUpdater::updateSilenceProfile(SortformerStreamingState& state, std::span<const float> embs,
                                                  std::span<const float> preds, int frameCount) const {
    for (int i = 0; i < frameCount; ++i) {
        float sum = 0.0F;
        for (int s = 0; s < S && at(i * S + s) < preds.size(); ++s) {
            sum += preds[at(i * S + s)];
        }
        if (!(sum < config_.silenceThreshold)) {
            continue;
        }
        const auto n = static_cast<float>(state.silenceFrameCount);
        for (int j = 0; j < D && at(i * D + j) < embs.size(); ++j) {
            float& mean = state.meanSilenceEmbedding[at(j)];
            mean = (mean * n + embs[at(i * D + j)]) / (n + 1.0F);
        }
        state.silenceFrameCount += 1;
    }
}

void SortformerStateUpdater::compressSpkcache(SortformerStreamingState& state) const {
    if (!state.spkcachePreds) {
        return;
    }
    const int cacheLen = config_.spkcacheLen;
    const int silenceSlots = config_.spkcacheSilFramesPerSpk;
    const int frames = state.spkcacheLength;
    const auto nonSil = static_cast<float>(cacheLen / S - silenceSlots);
    const auto strongNum = static_cast<int>(config_.strongBoostRate * nonSil);
    const auto weakNum = static_cast<int>(config_.weakBoostRate * nonSil);
    const auto minPosNum = static_cast<int>(config_.minPosScoresRate * nonSil);

    const std::vector<float>& cachePreds = *state.spkcachePreds;
    std::vector<float> scores = getLogPredScores(cachePreds, frames);
    disableLowScores(cachePreds, scores, frames, minPosNum);
    // The frames beyond the capacity arrived last; a small bonus favours keeping the recent past.
    for (int t = cacheLen; t < frames; ++t) {
        for (int s = 0; s < S; ++s) {
            scores[at(t * S + s)] += config_.scoresBoostLatest;
        }
    }
    if (frames >= 1) {
        if (strongNum >= 1) {
            boostTopKScores(scores, frames, std::min(strongNum, frames), ln4);
        }
        if (weakNum >= 1) {
            boostTopKScores(scores, frames, std::min(weakNum, frames), ln2);
        }
    }
    scores.insert(scores.end(), at(silenceSlots * S), plusInfinity);
    const TopKSelection selection = getTopKIndices(scores, frames + silenceSlots, cacheLen);

    std::vector<float> cache(at(cacheLen * D), 0.0F);
    std::vector<float> predictions(at(cacheLen * S), 0.0F);
    for (int j = 0; j < cacheLen; ++j) {
        const auto slot = cache.begin() + j * D;
        if (selection.isDisabled[at(j)]) {
            std::copy_n(state.meanSilenceEmbedding.begin(), D, slot);
            continue;
        }
        const int f = selection.indices[at(j)];
        std::copy_n(state.spkcache.begin() + f * D, D, slot);
        std::copy_n(cachePreds.begin() + f * S, S, predictions.begin() + j * S);
    }
    state.spkcache = std::move(cache);
    state.spkcacheLength = cacheLen;
    state.spkcachePreds = std::move(predictions);
}

std::vector<float> SortformerStateUpdater::getLogPredScores(std::span<const float> preds, int frameCount) const {
    const float threshold = config_.predScoreThreshold;
    std::vector<float> scores(at(frameCount * S));
    for (int t = 0; t < frameCount; ++t) {
        float logNone[S];
        float frameSum = 0.0F;
        for (int s = 0; s < S; ++s) {
            const float p = preds[at(t * S + s)];
            logNone[s] = std::log1p(-std::min(std::max(p, 0.0F), 1.0F - threshold));
            frameSum += logNone[s];
        }
        for (int s = 0; s < S; ++s) {
            const float a = std::log(std::max(preds[at(t * S + s)], threshold));
            scores[at(t * S + s)] = a - logNone[s] + ln2 + frameSum;
        }
    }
    return scores;
}

void SortformerStateUpdater::disableLowScores(std::span<const float> preds, std::vector<float>& scores, int frameCount,
                                              int minPosNum) const {
    int positives[S] = {};
    for (int t = 0; t < frameCount; ++t) {
        for (int s = 0; s < S; ++s) {
            if (preds[at(t * S + s)] > activeProbability && scores[at(t * S + s)] > 0.0F) {
                ++positives[s];
            }
        }
    }
    for (int t = 0; t < frameCount; ++t) {
        for (int s = 0; s < S; ++s) {
            float& score = scores[at(t * S + s)];
            if (preds[at(t * S + s)] <= activeProbability || (score <= 0.0F && positives[s] >= minPosNum)) {
                score = minusInfinity;
            }
        }
    }
}

void SortformerStateUpdater::boostTopKScores(std::vector<float>& scores, int frameCount, int k,
                                             float scaleFactor) const {
    for (int s = 0; s < S; ++s) {
        for (const int t : bestFramesOfSpeaker(scores, frameCount, s, k)) {
            scores[at(t * S + s)] += scaleFactor;
        }
    }
}

std::vector<float> SortformerStateUpdater::applySigmoid(std::span<const float> values) {
    std::vector<float> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(), [](float x) { return 1.0F / (1.0F + std::exp(-x)); });
    return out;
}

TopKSelection SortformerStateUpdater::getTopKIndices(std::span<const float> scores, int frameCount, int k) const {
    if (k <= 0) {
        return {};
    }
    std::vector<int> pairs(at(frameCount * S));
    std::iota(pairs.begin(), pairs.end(), 0);
    const auto scoreOf = [&](int flat) { return scores[at((flat % frameCount) * S + flat / frameCount)]; };
    const auto kept = std::min(at(k), pairs.size());
    std::partial_sort(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(kept), pairs.end(), [&](int a, int b) {
        const float scoreA = scoreOf(a);
        const float scoreB = scoreOf(b);
        return scoreA != scoreB ? scoreA > scoreB : a < b;
    });

    TopKSelection selection{.indices = std::vector<int>(at(k), SortformerConfig::maxIndex),
                            .isDisabled = std::vector<bool>(at(k), false)};
    for (std::size_t r = 0; r < kept; ++r) {
        if (scoreOf(pairs[r]) != minusInfinity) {
            selection.indices[r] = pairs[r];
        }
    }
    std::sort(selection.indices.begin(), selection.indices.end());
    const int firstPlaceholder = frameCount - config_.spkcacheSilFramesPerSpk;
    for (std::size_t r = 0; r < at(k); ++r) {
        int& index = selection.indices[r];
        bool disabled = index == SortformerConfig::maxIndex;
        if (!disabled) {
            index %= frameCount;
            disabled = index >= firstPlaceholder;
        }
        selection.isDisabled[r] = disabled;
        if (disabled) {
            index = 0;
        }
    }
    return selection;
}

} // namespace quorl
