#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorl {

// Greedy transducer decoding with the unified single-step decoder and joint decision. The recurrent state
// carries from one call to the next, so a stream can be decoded window by window; reset() starts afresh.
//
// The stored state is the last token fed to the decoder together with the state from before it: each call
// first runs the decoder on that pair to get the output the next joint decision needs. A call that fails
// leaves the stored state as it was. Not synchronised: the engine that loaded it is its only user.
class UnifiedRnntDecoder {
public:
    struct Emission {
        std::int64_t token = 0;
        // Global encoder frame.
        std::int64_t frame = 0;
        // The joint decision's probability for the token; 0 when the model gives none.
        float prob = 0;

        bool operator==(const Emission&) const = default;
    };

    // Local encoder frames [begin, end) of one encoder output.
    struct FrameRange {
        std::int64_t begin = 0;
        std::int64_t end = 0;
    };

    // Zero states, last token blank. Throws the runtime's error when a state cannot be made.
    UnifiedRnntDecoder(std::shared_ptr<platform::ml::Model> decoderModel,
                       std::shared_ptr<platform::ml::Model> jointDecisionModel, UnifiedConfig config);

    void reset();

    // Decodes the frames of `encoded` (the encoder's Float32 "encoder" output, [1, hidden, frames, ...], read
    // through its strides); emissions carry the frame index plus globalFrameOffset. Throws
    // ASRError::processingFailed for a model output that is missing, and the runtime's prediction errors.
    std::vector<Emission> decode(const platform::ml::MultiArray& encoded, FrameRange frameRange,
                                 std::int64_t globalFrameOffset);

private:
    struct RecurrentState {
        std::shared_ptr<platform::ml::MultiArray> h;
        std::shared_ptr<platform::ml::MultiArray> c;
    };

    struct DecoderStep {
        std::shared_ptr<platform::ml::MultiArray> decoderOutput;
        RecurrentState after;
    };

    // The joint decision's pick for one encoder frame: a token or the blank.
    struct JointChoice {
        std::int64_t token = 0;
        float prob = 0;
    };

    DecoderStep runDecoder(std::int64_t token, const RecurrentState& state) const;
    JointChoice jointDecision(const std::shared_ptr<platform::ml::MultiArray>& encoderStep,
                              const std::shared_ptr<platform::ml::MultiArray>& decoderOutput) const;
    RecurrentState zeroState() const;

    std::shared_ptr<platform::ml::Model> decoderModel_;
    std::shared_ptr<platform::ml::Model> jointDecisionModel_;
    UnifiedConfig config_;
    RecurrentState state_;
    std::int32_t lastToken_;
};

} // namespace quorl
