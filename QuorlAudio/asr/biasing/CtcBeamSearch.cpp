#include "QuorlAudio/asr/biasing/CtcBeamSearch.hpp"

#include "QuorlAudio/asr/biasing/ARPALanguageModel.hpp"
#include "QuorlAudio/asr/biasing/CtcBeam.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorl {
namespace {

constexpr float minusInfinity = -std::numeric_limits<float>::infinity();

struct PrefixHash {
    std::size_t operator()(const std::vector<int>& prefix) const {
        std::size_t hash = prefix.size();
        for (const int id : prefix) {
            hash ^= std::hash<int>{}(id) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
        }
        return hash;
    }
};

// The hypotheses of one frame, merged by prefix and listed in the order they were first made, which breaks
// ties of equal totals deterministically.
class BeamSet {
public:
    // The hypothesis for `beam.prefix`, made from `beam` when there is none yet.
    CtcBeam& findOrAdd(CtcBeam&& beam) {
        const auto [slot, added] = index_.try_emplace(beam.prefix, beams_.size());
        if (added) {
            beams_.push_back(std::move(beam));
        }
        return beams_[slot->second];
    }

    std::vector<CtcBeam> take() { return std::move(beams_); }

private:
    std::vector<CtcBeam> beams_;
    std::unordered_map<std::vector<int>, std::size_t, PrefixHash> index_;
};

std::string joined(const std::vector<std::string>& pieces) {
    std::string word;
    for (const auto& piece : pieces) {
        word += piece;
    }
    return word;
}

// What extending a hypothesis by one piece does to its language-model side.
struct WordStep {
    float delta = 0;
    std::vector<std::string> wordPieces{};
    std::optional<std::string> prevWord{};
};

class PrefixBeamSearch {
public:
    PrefixBeamSearch(const CtcLogProbs& logProbs, const CtcVocabulary& vocabulary, const CtcBeamSearchConfig& config)
        : logProbs_(logProbs), vocabulary_(vocabulary), config_(config),
          beamWidth_(static_cast<std::size_t>(std::max(config.beamWidth, 0))),
          tokenCandidates_(static_cast<std::size_t>(std::max(config.tokenCandidates, 0))),
          values_(logProbs.front().size()) {
        for (std::size_t id = 0; id < values_; ++id) {
            if (static_cast<int>(id) != config.blankId) {
                candidateIds_.push_back(static_cast<int>(id));
            }
        }
    }

    std::vector<int> run() {
        std::vector<CtcBeam> beams{CtcBeam{.pBlank = 0, .pNonBlank = minusInfinity}};
        for (std::size_t frame = 0; frame < logProbs_.size(); ++frame) {
            beams = prune(expand(beams, checkedFrame(frame)));
        }
        return best(rescoreUnfinishedWords(std::move(beams)));
    }

private:
    const std::vector<float>& checkedFrame(std::size_t index) const {
        const auto& frame = logProbs_[index];
        if (frame.size() < values_) {
            throw std::invalid_argument("CTC frame " + std::to_string(index) + " holds fewer than " +
                                        std::to_string(values_) + " log-probabilities");
        }
        return frame;
    }

    // The likeliest candidate ids of the frame, equal values in ascending id order.
    std::vector<int> topCandidates(const std::vector<float>& frame) const {
        std::vector<int> ids = candidateIds_;
        const auto count = std::min(tokenCandidates_, ids.size());
        // NaN ranks last so that the ordering stays strict.
        const auto value = [&](int id) { return std::isnan(frame[id]) ? minusInfinity : frame[id]; };
        std::partial_sort(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(count), ids.end(),
                          [&](int a, int b) { return value(a) > value(b) || (value(a) == value(b) && a < b); });
        ids.resize(count);
        return ids;
    }

    std::vector<CtcBeam> expand(const std::vector<CtcBeam>& beams, const std::vector<float>& frame) const {
        const float blank = config_.blankId >= 0 && static_cast<std::size_t>(config_.blankId) < values_
                                ? frame[static_cast<std::size_t>(config_.blankId)]
                                : minusInfinity;
        const auto top = topCandidates(frame);
        BeamSet next;
        for (const auto& beam : beams) {
            const float acoustic = beam.totalAcoustic();
            CtcBeam& stay = next.findOrAdd(sameWords(beam, minusInfinity, minusInfinity));
            stay.pBlank = logAddExp(stay.pBlank, acoustic + blank);
            for (const int id : top) {
                extend(next, beam, id, frame[static_cast<std::size_t>(id)]);
            }
        }
        return next.take();
    }

    void extend(BeamSet& next, const CtcBeam& beam, int id, float logProb) const {
        WordStep step = wordStep(beam, piece(id));
        CtcBeam extended{.prefix = beam.prefix,
                         .pBlank = minusInfinity,
                         .pNonBlank = minusInfinity,
                         .lmScore = beam.lmScore + step.delta,
                         .wordPieces = std::move(step.wordPieces),
                         .prevWord = std::move(step.prevWord)};
        extended.prefix.push_back(id);
        if (beam.lastToken() == id) {
            CtcBeam& same = next.findOrAdd(sameWords(beam, minusInfinity, minusInfinity));
            same.pNonBlank = logAddExp(same.pNonBlank, beam.pNonBlank + logProb);
            CtcBeam& added = next.findOrAdd(std::move(extended));
            added.pNonBlank = logAddExp(added.pNonBlank, beam.pBlank + logProb);
        } else {
            CtcBeam& added = next.findOrAdd(std::move(extended));
            added.pNonBlank = logAddExp(added.pNonBlank, beam.totalAcoustic() + logProb);
        }
    }

    static CtcBeam sameWords(const CtcBeam& beam, float pBlank, float pNonBlank) {
        return {.prefix = beam.prefix,
                .pBlank = pBlank,
                .pNonBlank = pNonBlank,
                .lmScore = beam.lmScore,
                .wordPieces = beam.wordPieces,
                .prevWord = beam.prevWord};
    }

    std::string_view piece(int id) const {
        const auto found = vocabulary_.find(id);
        return found == vocabulary_.end() ? std::string_view() : std::string_view(found->second);
    }

    // A piece that opens a word scores the word built so far; any other piece joins it.
    WordStep wordStep(const CtcBeam& beam, std::string_view piece) const {
        if (config_.lm == nullptr) {
            return {.wordPieces = beam.wordPieces, .prevWord = beam.prevWord};
        }
        const std::string_view marker = ASRConstants::sentencePieceWordBoundary;
        if (!piece.starts_with(marker)) {
            WordStep step{.wordPieces = beam.wordPieces, .prevWord = beam.prevWord};
            step.wordPieces.emplace_back(piece);
            return step;
        }
        piece.remove_prefix(marker.size());
        WordStep step{.prevWord = beam.prevWord};
        if (!piece.empty()) {
            step.wordPieces.emplace_back(piece);
        }
        if (std::string word = joined(beam.wordPieces); !word.empty()) {
            step.delta = wordScore(word, beam.prevWord);
            step.prevWord = std::move(word);
        }
        return step;
    }

    float wordScore(const std::string& word, const std::optional<std::string>& prev) const {
        return config_.wordBonus + config_.lmWeight * config_.lm->score(word, prev);
    }

    std::vector<CtcBeam> prune(std::vector<CtcBeam> beams) const {
        std::stable_sort(beams.begin(), beams.end(),
                         [](const CtcBeam& a, const CtcBeam& b) { return a.total() > b.total(); });
        beams.resize(std::min(beamWidth_, beams.size()));
        return beams;
    }

    std::vector<CtcBeam> rescoreUnfinishedWords(std::vector<CtcBeam> beams) const {
        if (config_.lm == nullptr) {
            return beams;
        }
        for (auto& beam : beams) {
            if (const std::string word = joined(beam.wordPieces); !word.empty()) {
                beam.lmScore += wordScore(word, beam.prevWord);
            }
        }
        return beams;
    }

    static std::vector<int> best(const std::vector<CtcBeam>& beams) {
        const CtcBeam* chosen = nullptr;
        for (const auto& beam : beams) {
            if (chosen == nullptr || beam.total() > chosen->total()) {
                chosen = &beam;
            }
        }
        return chosen == nullptr ? std::vector<int>() : chosen->prefix;
    }

    const CtcLogProbs& logProbs_;
    const CtcVocabulary& vocabulary_;
    const CtcBeamSearchConfig& config_;
    std::size_t beamWidth_;
    std::size_t tokenCandidates_;
    std::size_t values_;
    std::vector<int> candidateIds_;
};

} // namespace

std::string ctcBeamSearch(const CtcLogProbs& logProbs, const CtcVocabulary& vocabulary,
                          const CtcBeamSearchConfig& config) {
    if (logProbs.empty() || logProbs.front().empty()) {
        return "";
    }
    return decodeCtcTokenIds(PrefixBeamSearch(logProbs, vocabulary, config).run(), vocabulary);
}

std::string ctcBeamSearch(const platform::ml::MultiArray& logProbs, const CtcVocabulary& vocabulary,
                          const CtcBeamSearchConfig& config) {
    return ctcBeamSearch(ctcLogProbFrames(logProbs), vocabulary, config);
}

} // namespace quorl
