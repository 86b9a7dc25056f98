#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace quorl {

struct WordTiming {
    std::string word;
    double startTime = 0;
    double endTime = 0;

    bool operator==(const WordTiming&) const = default;
};

// Joins word pieces into words. A piece that starts with the word-boundary marker or a blank starts a word;
// any other piece, punctuation included, continues the current one. Blank and padding tokens are skipped,
// and words that are empty once trimmed of horizontal white space are dropped.
std::vector<WordTiming> buildWordTimings(const std::vector<TokenTiming>& tokenTimings);

void to_json(nlohmann::json& json, const WordTiming& timing);
void from_json(const nlohmann::json& json, WordTiming& timing);

} // namespace quorl
