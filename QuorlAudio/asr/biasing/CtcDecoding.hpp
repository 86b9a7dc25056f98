#pragma once

#include "platform/ml/MultiArray.hpp"

#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

// Token id to piece; a piece that opens a word starts with "▁".
using CtcVocabulary = std::unordered_map<int, std::string>;
// Frames in time order, each the natural-log probabilities of every token id, the blank included.
using CtcLogProbs = std::vector<std::vector<float>>;

// The pieces of the ids joined, every "▁" a space, blanks trimmed at both ends; unknown ids add nothing.
std::string decodeCtcTokenIds(const std::vector<int>& ids, const CtcVocabulary& vocabulary);

// Best path: the arg-max of each frame (the lowest id on a tie), repeats collapsed, blanks dropped. A frame
// without values is skipped.
std::string ctcGreedyDecode(const CtcLogProbs& logProbs, const CtcVocabulary& vocabulary, int blankId);
// The same over the first batch element of a [batch, T, V] array of 32-bit floats, read in place.
std::string ctcGreedyDecode(const platform::ml::MultiArray& logProbs, const CtcVocabulary& vocabulary, int blankId);

// The first batch element of a [batch, T, V] array of 32-bit floats as T frames of V values; throws
// platform::ml::ModelError for an array of another rank or element type.
CtcLogProbs ctcLogProbFrames(const platform::ml::MultiArray& logProbs);

} // namespace quorl
