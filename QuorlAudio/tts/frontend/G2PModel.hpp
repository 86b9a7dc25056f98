#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/G2PModelEnvironment.hpp"
#include "QuorlAudio/tts/frontend/G2PModelError.hpp"
#include "QuorlAudio/tts/frontend/G2PVocabulary.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// The English grapheme-to-phoneme model, the last resort of the English front ends for a word no lexicon
// knows: an encoder over the word's characters and a decoder run greedily on the CPU, reading
// "g2p_vocab.json", "G2PEncoder.mlmodelc" and "G2PDecoder.mlmodelc" from the synthesis cache's
// "Models/kokoro". Loaded on first use and kept for the life of the object. Thread-safe: calls are served one
// at a time.
class G2PModel {
public:
    using G2PModelError = quorl::G2PModelError;

    // Decoded ids per word at most; each step runs the decoder over the whole prefix again.
    static constexpr int maxDecodeSteps = 64;

    // The process-wide model, on the user's synthesis cache and environment.
    static G2PModel& shared();

    explicit G2PModel(G2PModelEnvironment environment = {});

    // Loads the vocabulary and both models unless they are loaded. Throws G2PModelError vocabLoadFailed or
    // modelLoadFailed for missing or malformed files; errors of the cache root, of reading, of JSON and of the
    // runtime pass through.
    void ensureModelsAvailable();

    // The phoneme tokens of one word taken as written, or none when the model yields none. When the load fails
    // and "CI" is set it warns and answers none; otherwise the load's error is thrown. A failed prediction
    // throws G2PModelError encoderPredictionFailed or decoderPredictionFailed.
    std::optional<std::vector<std::string>> phonemize(const std::string& word);

private:
    void loadIfNeeded();
    std::shared_ptr<platform::ml::MultiArray> encode(const std::string& word) const;
    std::vector<std::int32_t> decode(const std::shared_ptr<platform::ml::MultiArray>& hiddenStates) const;

    G2PModelEnvironment environment_;
    AppLogger logger_;
    std::mutex mutex_;
    std::optional<G2PVocabulary> vocabulary_;
    std::shared_ptr<platform::ml::Model> encoder_;
    std::shared_ptr<platform::ml::Model> decoder_;
};

} // namespace quorl
