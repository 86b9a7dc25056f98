#pragma once

#include "QuorlAudio/asr/batch/TdtReusableJointInputProvider.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorl {

// The arrays that one window's decoding reuses at every step, allocated once per window in the aligned,
// zero-filled layout: the decoder's label inputs, the joint model's two inputs with the provider over them,
// and the arrays the joint model's outputs are written into.
struct TdtStepBuffers {
    using Backings = std::map<std::string, std::shared_ptr<platform::ml::MultiArray>>;

    // The joint model's top-K lists as read from its outputs; refilled at every step, they stop allocating
    // once they have grown to the model's K.
    struct TopKLists {
        std::vector<int> ids;
        std::vector<float> logits;
    };

    // Throws the ANEMemoryUtils::ANEMemoryError of an allocation.
    explicit TdtStepBuffers(int encoderHiddenSize);

    // "targets", [1, 1] 32-bit integers: the decoder's input label.
    std::shared_ptr<platform::ml::MultiArray> targets;
    // "target_length", [1] 32-bit integers: always 1.
    std::shared_ptr<platform::ml::MultiArray> targetLength;
    // "encoder_step", [1, H, 1]: one encoder frame.
    std::shared_ptr<platform::ml::MultiArray> encoderStep;
    // "decoder_step", [1, 640, 1]: one decoder projection.
    std::shared_ptr<platform::ml::MultiArray> decoderStep;
    ReusableJointInputProvider jointInput;
    // Where frames are copied in "encoder_step", and the element stride between their values.
    float* encoderDestPtr;
    std::size_t encoderDestStride;
    // [1, 1, 1] backings of "token_id" (32-bit integer), "token_prob" (32-bit float), "duration" (32-bit integer).
    std::shared_ptr<platform::ml::MultiArray> tokenIdBacking;
    std::shared_ptr<platform::ml::MultiArray> tokenProbBacking;
    std::shared_ptr<platform::ml::MultiArray> durationBacking;
    // The joint model's output backings, built once.
    Backings jointBackings;
    // The joint model's outputs, written again by every step.
    platform::ml::DictionaryFeatureProvider jointOutputs;
    // The decoder's output backings "h_out" and "c_out"; their arrays are set to the state's before each run.
    Backings decoderBackings;
    TopKLists topK;
};

} // namespace quorl
