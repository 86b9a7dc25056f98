#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/G2PModelEnvironment.hpp"
#include "QuorlAudio/tts/frontend/MultilingualG2PError.hpp"
#include "QuorlAudio/tts/frontend/MultilingualG2PLanguage.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// A byte-level grapheme-to-phoneme model for words of nine languages, offered to toolkit callers: the word,
// behind its language tag, goes in as UTF-8 bytes and the pronunciation comes out byte by byte, decoded
// greedily on the CPU. Reads "MultilingualG2PEncoder.mlmodelc" and "MultilingualG2PDecoder.mlmodelc" from the
// synthesis cache's "Models/kokoro"; nothing fetches them there. Loaded on first use and kept for the life
// of the object. Thread-safe: calls are served one at a time.
class MultilingualG2PModel {
public:
    // Also the decoder's start id.
    static constexpr std::int32_t padTokenId = 0;
    static constexpr std::int32_t eosTokenId = 1;
    // Byte b is token b + byteOffset.
    static constexpr std::int32_t byteOffset = 3;
    // Generated tokens, so bytes, per word at most.
    static constexpr int maxDecodeSteps = 128;

    // The process-wide model, on the user's synthesis cache and environment.
    static MultilingualG2PModel& shared();

    explicit MultilingualG2PModel(G2PModelEnvironment environment = {});

    // Loads both models unless they are loaded. Throws MultilingualG2PError modelLoadFailed naming the first
    // missing bundle; errors of the cache root and of the runtime pass through.
    void ensureModelsAvailable();

    // The pronunciation, one character a string, blanks left out; none when the model writes no bytes or bytes
    // that are not UTF-8. When the load fails and "CI" is set it warns and answers none; otherwise the load's
    // error is thrown. A failed prediction throws encoderPredictionFailed or decoderPredictionFailed.
    std::optional<std::vector<std::string>> phonemize(const std::string& word, MultilingualG2PLanguage language);

private:
    struct Encoded {
        std::shared_ptr<platform::ml::MultiArray> hiddenStates;
        std::shared_ptr<platform::ml::MultiArray> attentionMask;
    };

    void loadIfNeeded();
    Encoded encode(const std::string& text) const;
    std::vector<std::int32_t> decode(const Encoded& encoded) const;

    G2PModelEnvironment environment_;
    AppLogger logger_;
    std::mutex mutex_;
    std::shared_ptr<platform::ml::Model> encoder_;
    std::shared_ptr<platform::ml::Model> decoder_;
};

} // namespace quorl
