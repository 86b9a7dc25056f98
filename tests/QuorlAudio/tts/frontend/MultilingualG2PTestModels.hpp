#pragma once

#include "tests/QuorlAudio/tts/frontend/G2PTestCache.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorl {

// Scripted multilingual G2P models in a scratch synthesis cache, run through the runtime. The encoder hands
// its byte tokens on as the hidden states; the decoder answers at each step scores whose last row peaks at
// the next token of `spelling`, then at eos.
class MultilingualG2PTestModels {
public:
    using Tokens = std::vector<std::int32_t>;

    // Every byte token and a few past them.
    static constexpr std::size_t width = 262;

    // Writes both bundles.
    MultilingualG2PTestModels();

    // The byte tokens of the text.
    static Tokens tokensOf(const std::string& text);

    // The tokens to decode for the encoder's input; by default none.
    std::function<Tokens(const Tokens& inputTokens)> spelling = [](const Tokens&) { return Tokens{}; };

    G2PTestCache cache;
    testsupport::ScriptedKernel encoder;
    testsupport::ScriptedKernel decoder;
};

} // namespace quorl
