#include "QuorlAudio/diarization/offline/PowersetFrame.hpp"

#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl {
namespace {

std::size_t firstMaximum(std::span<const float> scores) {
    std::size_t winner = 0;
    float best = std::numeric_limits<float>::lowest();
    for (std::size_t index = 0; index < scores.size(); ++index) {
        if (scores[index] > best) {
            best = scores[index];
            winner = index;
        }
    }
    return winner;
}

} // namespace

const std::array<std::vector<std::size_t>, PowersetFrame::classCount>& PowersetFrame::table() {
    static const std::array<std::vector<std::size_t>, classCount> classes{{
        {},
        {0},
        {1},
        {2},
        {0, 1},
        {0, 2},
        {1, 2},
        {0, 1, 2},
    }};
    return classes;
}

PowersetFrame PowersetFrame::decode(std::span<const float> scores) {
    PowersetFrame frame;
    const float lse = VDSPOperations::logSumExp(scores);
    frame.logProbs.resize(scores.size());
    frame.probabilities.resize(scores.size());
    for (std::size_t index = 0; index < scores.size(); ++index) {
        frame.logProbs[index] = scores[index] - lse;
        frame.probabilities[index] = std::exp(frame.logProbs[index]);
    }
    frame.winner = firstMaximum(scores);
    frame.speakerClass = std::min(frame.winner, classCount - 1);
    frame.speakerWeights.assign(speakerCount, 0.0f);
    for (const std::size_t speaker : table()[frame.speakerClass]) {
        frame.speakerWeights[speaker] = 1.0f;
    }
    return frame;
}

} // namespace quorl
