#pragma once

#include "QuorlAudio/tts/pockettts/SentencePieceTokenizer.hpp"

#include <optional>
#include <vector>

namespace quorl {

// The fixed tensors of a language pack besides its models, read from its "constants_bin" folder.
struct PocketTtsConstantsBundle {
    // The flow language model's start-of-sequence latent: 32 floats.
    std::vector<float> bosEmbedding;
    // Row-major rows of 1024 floats; row i embeds token id i.
    std::vector<float> textEmbedTable;
    SentencePieceTokenizer tokenizer;
    // 1024 floats that precede a cloned voice's prompt; absent in older packs.
    std::optional<std::vector<float>> bosBeforeVoice;
};

} // namespace quorl
