#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <memory>

namespace quorl {

// One loaded multilingual variant that any number of stream managers adopt: the models, the configuration
// read from its metadata and its tokenizer. Nothing in it changes after it is built and it holds no state of
// a stream, so copies and adopting managers share the same objects without a lock. Every set that the
// preloader returns has at most one fused decoder-joint model, a fused model or both bare models, and a
// batched joint only beside both bare models.
struct SharedNemotronMultilingualModels {
    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> decoder;
    std::shared_ptr<platform::ml::Model> joint;
    std::shared_ptr<platform::ml::Model> decoderJoint;
    std::shared_ptr<platform::ml::Model> decoderJointArgmax;
    std::shared_ptr<platform::ml::Model> decoderJointNoEncProj;
    std::shared_ptr<platform::ml::Model> jointNoEncProjBatched;
    // The encoder declares model state, so each adopting stream makes a state of its own.
    bool encoderIsStateful = false;
    NemotronMultilingualStreamingConfig config;
    std::shared_ptr<const NemotronMultilingualTokenizer> tokenizer;
    // The configuration the set was loaded with (not the batched joint's own when the environment chose it).
    platform::ml::ModelConfiguration mlConfiguration;
};

} // namespace quorl
