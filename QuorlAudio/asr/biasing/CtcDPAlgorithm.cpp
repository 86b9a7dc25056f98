#include "QuorlAudio/asr/biasing/CtcDPAlgorithm.hpp"

#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl::CtcDPAlgorithm {

namespace {

// Predecessor scores at or below this count as unreachable.
constexpr float unreachableLimit = unreachableScore / 2.0f;

struct ExpandedSymbol {
    enum class Kind { token, blank, wildcard };
    Kind kind;
    std::int64_t tokenId = 0;
};

// blank, then each entry followed by a blank: entry i (from 1) at position 2i - 1.
std::vector<ExpandedSymbol> buildExpandedSequence(const std::vector<std::int64_t>& keywordTokens) {
    std::vector<ExpandedSymbol> symbols{{ExpandedSymbol::Kind::blank}};
    for (const auto id : keywordTokens) {
        symbols.push_back(id == ContextBiasingConstants::wildcardTokenId
                              ? ExpandedSymbol{ExpandedSymbol::Kind::wildcard}
                              : ExpandedSymbol{ExpandedSymbol::Kind::token, id});
        symbols.push_back({ExpandedSymbol::Kind::blank});
    }
    return symbols;
}

float emission(const ExpandedSymbol& symbol, const std::vector<float>& frame, std::int64_t blankId) {
    const auto length = static_cast<std::int64_t>(frame.size());
    switch (symbol.kind) {
    case ExpandedSymbol::Kind::token:
        return symbol.tokenId >= 0 && symbol.tokenId < length ? frame[static_cast<std::size_t>(symbol.tokenId)]
                                                              : unreachableScore;
    case ExpandedSymbol::Kind::blank:
        return blankId >= 0 && blankId < length ? frame[static_cast<std::size_t>(blankId)] : 0.0f;
    case ExpandedSymbol::Kind::wildcard: return 0.0f;
    }
    return 0.0f;
}

bool maySkip(const std::vector<ExpandedSymbol>& symbols, std::size_t s) {
    if (s < 2) {
        return false;
    }
    const auto& here = symbols[s];
    const auto& before = symbols[s - 2];
    using Kind = ExpandedSymbol::Kind;
    if (here.kind == Kind::token) {
        return before.kind == Kind::wildcard || (before.kind == Kind::token && before.tokenId != here.tokenId);
    }
    return here.kind == Kind::wildcard && before.kind != Kind::wildcard;
}

// The state tables over the expanded positions, (T + 1) rows each.
struct States {
    std::vector<std::vector<float>> score;
    std::vector<std::vector<std::int64_t>> start;
    std::vector<std::vector<std::int64_t>> lastEmission;
};

void advanceRow(States& states, const std::vector<ExpandedSymbol>& symbols, const std::vector<float>& frame,
                std::size_t t, std::int64_t blankId) {
    const auto& previous = states.score[t - 1];
    for (std::size_t s = 1; s < symbols.size(); ++s) {
        const float stay = previous[s];
        const float advance = previous[s - 1];
        const float skip = maySkip(symbols, s) ? previous[s - 2] : unreachableScore;
        std::size_t from = s;
        if (stay < advance) {
            from = advance < skip ? s - 2 : s - 1;
        } else if (stay < skip) {
            from = s - 2;
        }
        const float chosen = previous[from];
        if (chosen <= unreachableLimit) {
            continue;
        }
        states.score[t][s] = emission(symbols[s], frame, blankId) + chosen;
        states.start[t][s] = states.start[t - 1][from];
        states.lastEmission[t][s] = symbols[s].kind == ExpandedSymbol::Kind::blank ? states.lastEmission[t - 1][from]
                                                                                   : static_cast<std::int64_t>(t);
    }
}

float normalisedScore(const Tables& tables, std::size_t row, std::size_t n, float divisor) {
    return tables.dp[row][n] / divisor;
}

std::vector<Hit> mergeOverlapping(std::vector<Hit> hits) {
    std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.startFrame < b.startFrame; });
    std::vector<Hit> merged;
    for (const auto& hit : hits) {
        if (!merged.empty() && merged.back().endFrame >= hit.startFrame) {
            auto& last = merged.back();
            const bool laterWins = hit.score > last.score;
            last = {.score = std::max(last.score, hit.score),
                    .startFrame = laterWins ? hit.startFrame : last.startFrame,
                    .endFrame = std::max(last.endFrame, hit.endFrame)};
        } else {
            merged.push_back(hit);
        }
    }
    return merged;
}

} // namespace

Tables fillDPTable(const LogProbs& logProbs, const std::vector<std::int64_t>& keywordTokens, std::int64_t blankId) {
    const std::size_t rows = logProbs.size() + 1;
    const std::size_t n = keywordTokens.size();
    Tables tables{.dp = std::vector(rows, std::vector<float>(n + 1, unreachableScore)),
                  .backtrack = std::vector(rows, std::vector<std::int64_t>(n + 1, 0)),
                  .lastMatch = std::vector(rows, std::vector<std::int64_t>(n + 1, 0))};
    for (auto& row : tables.dp) {
        row[0] = 0.0f;
    }
    if (n == 0) {
        return tables;
    }
    const auto symbols = buildExpandedSequence(keywordTokens);
    States states{.score = std::vector(rows, std::vector<float>(symbols.size(), unreachableScore)),
                  .start = std::vector(rows, std::vector<std::int64_t>(symbols.size(), 0)),
                  .lastEmission = std::vector(rows, std::vector<std::int64_t>(symbols.size(), 0))};
    for (std::size_t t = 0; t < rows; ++t) {
        states.score[t][0] = 0.0f;
        states.start[t][0] = static_cast<std::int64_t>(t);
    }
    for (std::size_t t = 1; t < rows; ++t) {
        advanceRow(states, symbols, logProbs[t - 1], t, blankId);
    }
    for (std::size_t t = 0; t < rows; ++t) {
        for (std::size_t i = 1; i <= n; ++i) {
            const std::size_t s = states.score[t][2 * i] > states.score[t][2 * i - 1] ? 2 * i : 2 * i - 1;
            tables.dp[t][i] = states.score[t][s];
            tables.backtrack[t][i] = states.start[t][s];
            tables.lastMatch[t][i] = states.lastEmission[t][s];
        }
    }
    return tables;
}

std::int64_t nonWildcardCount(const std::vector<std::int64_t>& keywordTokens) {
    return std::count_if(keywordTokens.begin(), keywordTokens.end(),
                         [](std::int64_t id) { return id != ContextBiasingConstants::wildcardTokenId; });
}

std::vector<Hit> ctcWordSpotMultiple(const LogProbs& logProbs, const std::vector<std::int64_t>& keywordTokens,
                                     float minScore, bool mergeOverlap, std::int64_t blankId) {
    const std::size_t frames = logProbs.size();
    const std::size_t n = keywordTokens.size();
    if (n == 0 || frames == 0) {
        return {};
    }
    const auto tables = fillDPTable(logProbs, keywordTokens, blankId);
    const auto realTokens = nonWildcardCount(keywordTokens);
    const float divisor = realTokens == 0 ? 1.0f : static_cast<float>(realTokens);
    if (frames < n) {
        return {};
    }
    const auto hitAt = [&](std::size_t t) {
        return Hit{.score = normalisedScore(tables, t, n, divisor),
                   .startFrame = tables.backtrack[t][n],
                   .endFrame = tables.lastMatch[t][n]};
    };
    std::vector<Hit> hits;
    for (std::size_t t = n; t <= frames; ++t) {
        const float cur = normalisedScore(tables, t, n, divisor);
        const float prev = t == n ? unreachableScore : normalisedScore(tables, t - 1, n, divisor);
        const float next = t == frames ? unreachableScore : normalisedScore(tables, t + 1, n, divisor);
        if (prev <= cur && next < cur && minScore <= cur) {
            hits.push_back(hitAt(t));
        }
    }
    if (hits.empty()) {
        std::size_t best = n;
        for (std::size_t t = n + 1; t <= frames; ++t) {
            if (normalisedScore(tables, t, n, divisor) > normalisedScore(tables, best, n, divisor)) {
                best = t;
            }
        }
        if (minScore <= normalisedScore(tables, best, n, divisor)) {
            hits.push_back(hitAt(best));
        }
    }
    return mergeOverlap ? mergeOverlapping(std::move(hits)) : hits;
}

} // namespace quorl::CtcDPAlgorithm
