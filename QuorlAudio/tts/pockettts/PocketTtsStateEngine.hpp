#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsStateError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateModels.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCacheSnapshot.hpp"
#include "platform/ml/ModelState.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace quorl {

// Runs the stateful PocketTTS model, whose two functions keep the flow language model's key-value cache in one
// shared model state: "prefill" conditions it on up to 256 tokens a call, "generate" makes one latent frame
// and its end-of-speech logit. Each layer i keeps half-precision buffers "k_cache<i>" and "v_cache<i>" of 512
// positions × 1024 values, positions outermost. The engine can clear the state, capture it as a snapshot and
// restore one, and tracks the position every call passes in. Nothing here stops the position at 512; the
// owner bounds the tokens and frames. Safe to share between threads: calls run one at a time.
class PocketTtsStateEngine {
public:
    using StateError = PocketTtsStateError;

    // Every layer's buffers as half-precision bit patterns, with the position that goes with them.
    struct Fp16Snapshot {
        std::vector<std::vector<std::uint16_t>> kBuffers;
        std::vector<std::vector<std::uint16_t>> vBuffers;
        float position = 0;
    };

    struct Frame {
        std::vector<float> latent;
        float eosLogit = 0;
    };

    // Position 0, with a state made by the "generate" function. Throws the runtime's error when that model
    // cannot make one.
    PocketTtsStateEngine(PocketTtsStateModels models, std::int64_t layers);

    float position() const;

    // Writes every layer's buffers, keys then values, then takes the snapshot's position. The first failing
    // buffer stops it, leaving the ones before written and the position as it was; a snapshot of fewer
    // layers than the engine's is refused with PocketTTSError::processingFailed before anything is written.
    void reset(const Fp16Snapshot& snapshot);
    // Zeroes every buffer, then the position.
    void resetToZero();
    Fp16Snapshot captureSnapshot() const;

    // `tokenCount` tokens of 1024 floats, up to 256 a call; the position becomes each call's "new_position",
    // or moves on by the call's tokens when the function gives none. Nothing happens below one token.
    void prefill(std::span<const float> flatConditioning, std::int64_t tokenCount);
    // One frame from the previous latent (32 NaNs at a chunk's first) and the scaled noise, 32 values each
    // (missing ones are zero); the position moves on by one. Throws StateError::missingOutput, leaving the
    // position, when "latent_final" or "is_eos" is absent.
    Frame generateFrame(std::span<const float> sequence, std::span<const float> noise);

    // A shipped voice's cache in snapshot form: each layer's S keys and S values converted to half precision at
    // the start of 524288 zeros, the position layer 0's offset. Throws PocketTTSError::processingFailed for
    // another layer count, more than 512 positions or a layer of other than S × 2048 floats.
    static Fp16Snapshot fp16Snapshot(const PocketTtsVoiceCacheSnapshot& from, std::int64_t layers);

private:
    void writeStateBuffer(std::span<const std::uint16_t> values, const std::string& name);
    std::vector<std::uint16_t> readStateBuffer(const std::string& name) const;

    const PocketTtsStateModels models_;
    const std::shared_ptr<platform::ml::ModelState> mlState_;
    const std::int64_t layers_;
    mutable std::mutex mutex_;
    float position_ = 0;
};

} // namespace quorl
