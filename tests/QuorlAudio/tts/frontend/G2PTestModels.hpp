#pragma once

#include "tests/QuorlAudio/tts/frontend/G2PTestCache.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// Scripted English G2P models in a scratch synthesis cache, run through the runtime. The vocabulary maps the
// letters a to z to the ids 4 to 29 (the digraph "ch" to 40, a key the model must skip) and back to one
// phoneme each, x excepted. The encoder hands its input ids on as the hidden states; the decoder reads them
// back and answers at each step scores whose last row peaks at the next id of `spelling`, then at eos.
class G2PTestModels {
public:
    using Ids = std::vector<std::int32_t>;

    static constexpr std::size_t width = 48;

    // Writes the files.
    G2PTestModels();

    // The vocabulary and both bundles, written anew.
    void writeFiles() const;

    static nlohmann::json vocabulary();
    void writeVocabulary(const nlohmann::json& document) const;

    // The ids to decode for the encoder's input (bos and eos included); by default the letters' own ids.
    std::function<Ids(const Ids& inputIds)> spelling;
    // The scores of the last position given the input and the sequence so far; by default one-hot at the
    // next id of `spelling`, at eos once they are spent.
    std::function<std::vector<float>(const Ids& inputIds, const Ids& sequence)> lastScores;
    // Outputs ("encoder_hidden_states", "logits") the models leave out of their answers.
    std::set<std::string> omittedOutputs;
    // The decoder answers scores for one position only, whatever the sequence's length.
    bool answersOnePositionOnly = false;

    G2PTestCache cache;
    testsupport::ScriptedKernel encoder;
    testsupport::ScriptedKernel decoder;

private:
    testsupport::ScriptedKernel::Outputs decoderAnswer(const testsupport::ScriptedKernel::Call& call) const;
};

} // namespace quorl
