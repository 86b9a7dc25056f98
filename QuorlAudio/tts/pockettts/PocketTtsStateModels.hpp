#pragma once

#include "platform/ml/Model.hpp"

#include <memory>

namespace quorl {

// The two functions of the stateful PocketTTS model "pocket_state.mlmodelc", which keeps the key-value cache
// in its model state: the prefill of a voice and of text, and the generation of one frame.
struct PocketTtsStateModels {
    std::shared_ptr<platform::ml::Model> prefill;
    std::shared_ptr<platform::ml::Model> generate;
};

} // namespace quorl
