#pragma once

#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

// A CTC head that spells words letter by letter, for rescoring tests: a tokenizer of single letters and
// log-probabilities in which the audio "says" a text, one frame per letter.
namespace quorl::testing::characterCtc {

// "<unk>" 0, "▁" 1, "a" to "z" 2 to 27; the blank follows them.
constexpr std::int64_t blankId = 28;
constexpr std::size_t rowWidth = 29;
constexpr double frameDuration = 0.08;
// The log-probability of every entry but the one a frame says.
constexpr float unspoken = -40.0f;

// Writes "tokenizer.json" of the letters into the folder, which is created.
void writeTokenizer(const std::filesystem::path& folder);

// The ids the tokenizer gives the text: "▁" before every word, then its letters in lower case; anything else
// is "<unk>".
std::vector<std::int64_t> tokens(std::string_view text);

// Blank frames, then one frame for every id of `text` (a blank frame between two equal ids), then blanks up to
// `totalFrames`.
CtcKeywordSpotter::Rows rowsSaying(std::string_view text, std::size_t leadingBlanks, std::size_t totalFrames);

// The frame at which rowsSaying puts id k of the text, and the frame after its last id.
std::size_t frameOf(std::string_view text, std::size_t leadingBlanks, std::size_t k);

} // namespace quorl::testing::characterCtc
