#pragma once

#include "QuorlAudio/asr/streaming/Tokenizer.hpp"
#include "QuorlAudio/asr/streaming/UnifiedMelExtractor.hpp"
#include "QuorlAudio/asr/streaming/UnifiedRnntDecoder.hpp"
#include "platform/ml/Model.hpp"

#include <memory>
#include <optional>

namespace quorl {

// What a unified engine loads: the three models, the vocabulary, the greedy decoder over the models and the
// mel front end for the engine's window. Any of them may be missing (before loading, after cleanup, or after
// a load that failed part-way), so the engines check what they need before each use.
struct UnifiedModelSet {
    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> decoder;
    std::shared_ptr<platform::ml::Model> jointDecision;
    std::shared_ptr<const Tokenizer> tokenizer;
    std::optional<UnifiedRnntDecoder> rnntDecoder;
    std::optional<UnifiedMelExtractor> melExtractor;
};

} // namespace quorl
