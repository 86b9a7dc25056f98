#pragma once

#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"
#include "QuorlAudio/asr/biasing/CtcModels.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
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

// What the audio says at each frame, as rowsSaying lays it out.
std::vector<std::int64_t> saidIds(std::string_view text, std::size_t leadingBlanks, std::size_t totalFrames);

// The frame at which rowsSaying puts id k of the text, and the frame after its last id.
std::size_t frameOf(std::string_view text, std::size_t leadingBlanks, std::size_t k);

// What one window of audio says, as rowsSaying lays it out.
struct Utterance {
    std::string text;
    std::size_t leadingBlanks = 0;
};

// A CTC model set of the letters, written as bundles into `folder` and run through the runtime: the mel model
// answers zeros, and the encoder's CTC head answers the logits of a full window (188 frames) in which
// prediction `call` says what the script gives. The vocabulary has 28 entries, so the blank is 28.
class ScriptedCtcModels {
public:
    using Script = std::function<Utterance(std::size_t call)>;

    ScriptedCtcModels(const std::filesystem::path& folder, const std::string& kernelPrefix, Script script);

    const CtcModels& models() const { return models_; }
    std::size_t predictions() const { return encoder_.calls().size(); }

    static constexpr std::size_t windowFrames = 188;

private:
    testsupport::ScriptedKernel mel_;
    testsupport::ScriptedKernel encoder_;
    CtcModels models_;
};

} // namespace quorl::testing::characterCtc
