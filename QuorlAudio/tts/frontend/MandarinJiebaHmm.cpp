#include "QuorlAudio/tts/frontend/MandarinJiebaHmm.hpp"

#include "QuorlAudio/tts/frontend/JiebaHmmState.hpp"

#include "platform/text/GraphemeClusters.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace quorl {
namespace {

using Scores = MandarinJiebaHmmTables::Scores;
using State = JiebaHmmState;

constexpr double impossible = -std::numeric_limits<double>::infinity();
constexpr std::size_t stateCount = 4;

constexpr std::size_t index(State state) { return static_cast<std::size_t>(rawValue(state)); }

// The states a state may follow, in the order that settles ties: the first listed wins.
constexpr std::array<std::array<State, 2>, stateCount> allowedPredecessors{{
    {State::end, State::single},
    {State::middle, State::begin},
    {State::begin, State::middle},
    {State::single, State::end},
}};

constexpr Scores unknownCharacter{
    MandarinJiebaHmmTables::unknownCharLogProb, MandarinJiebaHmmTables::unknownCharLogProb,
    MandarinJiebaHmmTables::unknownCharLogProb, MandarinJiebaHmmTables::unknownCharLogProb};

// The score of every state at every character and the predecessor each score came from.
struct Lattice {
    std::vector<Scores> score;
    std::vector<std::array<State, stateCount>> previous;
};

class Viterbi {
public:
    Viterbi(const MandarinJiebaHmmTables& tables, const std::vector<std::string_view>& characters)
        : tables_(tables), characters_(characters) {}

    std::vector<State> tags() {
        fillFirst();
        for (std::size_t t = 1; t < characters_.size(); ++t) {
            fillStep(t);
        }
        return walkBack();
    }

private:
    const Scores& emission(std::size_t t) const {
        const auto found = tables_.emit.find(characters_[t]);
        return found == tables_.emit.end() ? unknownCharacter : found->second;
    }

    void fillFirst() {
        const std::size_t n = characters_.size();
        lattice_.score.assign(n, Scores{impossible, impossible, impossible, impossible});
        lattice_.previous.assign(n, {State::begin, State::begin, State::begin, State::begin});
        for (const State state : {State::begin, State::single}) {
            lattice_.score[0][index(state)] = tables_.start[index(state)] + emission(0)[index(state)];
        }
        lattice_.previous[0] = {State::begin, State::middle, State::end, State::single};
    }

    void fillStep(std::size_t t) {
        const Scores& emitted = emission(t);
        for (std::size_t to = 0; to < stateCount; ++to) {
            State best = allowedPredecessors[to][0];
            double bestScore = impossible;
            for (const State from : allowedPredecessors[to]) {
                const double score =
                    emitted[to] + (lattice_.score[t - 1][index(from)] + tables_.trans[index(from)][to]);
                if (score > bestScore) {
                    best = from;
                    bestScore = score;
                }
            }
            lattice_.score[t][to] = bestScore;
            lattice_.previous[t][to] = best;
        }
    }

    // A word must be closed at the last character, so the walk starts at its end or single state.
    std::vector<State> walkBack() const {
        const std::size_t n = characters_.size();
        const Scores& last = lattice_.score[n - 1];
        std::vector<State> states(n);
        states[n - 1] = last[index(State::end)] >= last[index(State::single)] ? State::end : State::single;
        for (std::size_t t = n - 1; t > 0; --t) {
            states[t - 1] = lattice_.previous[t][index(states[t])];
        }
        return states;
    }

    const MandarinJiebaHmmTables& tables_;
    const std::vector<std::string_view>& characters_;
    Lattice lattice_;
};

std::vector<std::string> wordsOf(std::string_view text, const std::vector<std::size_t>& boundaries,
                                 const std::vector<State>& states) {
    std::vector<std::string> words;
    std::size_t wordStart = 0;
    for (std::size_t t = 0; t < states.size(); ++t) {
        if (states[t] == State::end || states[t] == State::single) {
            const std::size_t from = states[t] == State::end ? boundaries[wordStart] : boundaries[t];
            words.emplace_back(text.substr(from, boundaries[t + 1] - from));
            wordStart = t + 1;
        }
    }
    return words;
}

} // namespace

MandarinJiebaHmm::MandarinJiebaHmm(MandarinJiebaHmmTables tables) : tables_(std::move(tables)) {}

std::vector<std::string> MandarinJiebaHmm::segment(std::string_view text) const {
    const std::vector<std::size_t> boundaries = platform::text::graphemeBoundaries(text);
    const std::size_t count = boundaries.size() - 1;
    if (count < 2) {
        return count == 0 ? std::vector<std::string>{} : std::vector<std::string>{std::string(text)};
    }
    std::vector<std::string_view> characters;
    characters.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        characters.push_back(text.substr(boundaries[k], boundaries[k + 1] - boundaries[k]));
    }
    return wordsOf(text, boundaries, Viterbi(tables_, characters).tags());
}

} // namespace quorl
