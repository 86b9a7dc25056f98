#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <optional>

namespace quorl {

// The recurrent state of the transducer's prediction network, carried from one audio window to the next
// window of the same stream. Copies share the arrays, so an in-place write through one copy (the decoder
// writes its new state over the arrays it read) is seen by every copy.
struct TdtDecoderState {
    // Zero-filled [decoderLayers, 1, 640] hidden and cell arrays in the aligned layout. Throws the
    // ANEMemoryUtils::ANEMemoryError of the allocation; a negative layer count is an invalid shape.
    explicit TdtDecoderState(int decoderLayers);

    // The same, reporting a failed allocation as ASRError::processingFailed so that a recogniser that cannot
    // get its state fails the transcription instead of the process.
    static TdtDecoderState make(int decoderLayers);

    // Zeroes both arrays in place (the same objects stay) and forgets the token, projection and time jump.
    void reset();

    // Takes "h_out" and "c_out" from a decoder prediction when they are arrays; keeps the current ones
    // otherwise.
    void update(const platform::ml::FeatureProvider& decoderOutput);

    // The LSTM hidden state, fed to the decoder as "h_in".
    std::shared_ptr<platform::ml::MultiArray> hiddenState;
    // The LSTM cell state, fed as "c_in".
    std::shared_ptr<platform::ml::MultiArray> cellState;
    // The last non-blank token of the stream: the decoder's next input.
    std::optional<int> lastToken;
    // The decoder's output for lastToken, so the next joint step needs no decoder run; null when absent.
    std::shared_ptr<platform::ml::MultiArray> predictorOutput;
    // How many frames past its effective end the previous (not last) window stopped decoding.
    std::optional<int> timeJump;
};

} // namespace quorl
