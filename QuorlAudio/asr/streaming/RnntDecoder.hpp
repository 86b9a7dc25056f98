#pragma once

#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorl {

// The greedy transducer decoder of the end-of-utterance models. For each encoder frame it asks the prediction
// and joint networks, one step at a time, for the next token: blank moves to the next frame, the
// end-of-utterance token ends the chunk, any other token is emitted. The recurrent state and the last token
// carry over from chunk to chunk, so consecutive chunks decode as one stream.
//
// A step runs either the prediction network and the joint network as two models, or one fused model doing
// both; the choice is fixed at construction. Not synchronised: its engine is its only user.
class RnntDecoder {
public:
    static constexpr std::int32_t blankId = 1026;
    static constexpr std::int32_t eouId = 1024;
    static constexpr int maxSymbolsPerStep = 2;
    static constexpr std::size_t hiddenSize = 640;
    static constexpr std::size_t layers = 1;

    struct DecodeResult {
        std::vector<std::int64_t> tokenIds;
        // For each token, its frame within this chunk's encoder output.
        std::vector<int> tokenFrames;
        bool eouDetected = false;
    };

    // Zero states, last token blank.
    RnntDecoder(std::shared_ptr<platform::ml::Model> decoderModel, std::shared_ptr<platform::ml::Model> jointModel,
                std::shared_ptr<platform::ml::Model> fusedModel = nullptr);

    void resetState();

    // Decodes frames skipFrames ..< min(T, validOutLen) of a Float32 [1, H, T] encoder output, read through its
    // strides, continuing from the carried state. `timeOffset` is accepted for callers that pass one and not
    // used. Throws RnntDecoderError for a missing model output, ASRError::processingFailed for an encoder
    // output that is not three-dimensional Float32, and the runtime's prediction errors; the state then keeps
    // every token committed before the failing step.
    DecodeResult decodeWithEOU(const platform::ml::MultiArray& encoderOutput, int timeOffset, int skipFrames,
                               std::optional<int> validOutLen);

    std::int32_t lastToken() const { return lastToken_; }
    const std::shared_ptr<platform::ml::MultiArray>& hState() const { return hState_; }
    const std::shared_ptr<platform::ml::MultiArray>& cState() const { return cState_; }
    bool usesFusedModel() const { return fusedModel_ != nullptr; }

private:
    struct Step {
        std::int64_t token;
        std::shared_ptr<platform::ml::MultiArray> h;
        std::shared_ptr<platform::ml::MultiArray> c;
    };

    // Runs up to maxSymbolsPerStep steps on one frame; true when the end-of-utterance token came.
    bool decodeFrame(const std::shared_ptr<platform::ml::MultiArray>& frame, int frameIndex, DecodeResult& result);
    Step step(const std::shared_ptr<platform::ml::MultiArray>& frame) const;
    Step referenceStep(const std::shared_ptr<platform::ml::MultiArray>& frame) const;
    Step fusedStep(const std::shared_ptr<platform::ml::MultiArray>& frame) const;
    // The token from one output, then "h_out" and "c_out" from the other, each absence reported in that order.
    static Step stepFrom(const platform::ml::FeatureProvider& tokenOutput,
                         const platform::ml::FeatureProvider& stateOutput);
    std::shared_ptr<platform::ml::MultiArray> targets() const;

    std::shared_ptr<platform::ml::Model> decoderModel_;
    std::shared_ptr<platform::ml::Model> jointModel_;
    std::shared_ptr<platform::ml::Model> fusedModel_;
    std::shared_ptr<platform::ml::MultiArray> hState_;
    std::shared_ptr<platform::ml::MultiArray> cState_;
    std::int32_t lastToken_ = blankId;
};

} // namespace quorl
