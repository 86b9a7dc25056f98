#pragma once

#include "platform/ml/DataType.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

// An honest stand-in for the stateful PocketTTS model: its "prefill" and "generate" functions share the
// per-layer buffers "k_cache<i>" and "v_cache<i>" ([1, 512, 16, 64]) of its model state and write into them
// what a transformer would cache at the positions they are given.
namespace pocketttsstate {

struct Layout {
    std::int64_t layers = 6;
    platform::ml::DataType dataType = platform::ml::DataType::float16;
    // Empty: dense buffers.
    std::vector<std::size_t> strides{};
};

// The two functions over states of the layout.
nlohmann::json stateManifest(const char* kernel, const Layout& layout = {});

// "prefill": every token's first value into each layer's keys at its position and its negation into the
// values; answers "new_position" when `reportsNewPosition`.
testsupport::ScriptedKernel::Outputs prefillOutputs(const testsupport::ScriptedKernel::Call& call,
                                                    bool reportsNewPosition);
// "generate": the sequence's first value into the keys at the position; "latent_final" (half precision) is
// the noise plus the position, "is_eos" the logit.
testsupport::ScriptedKernel::Outputs generateOutputs(const testsupport::ScriptedKernel::Call& call, double logit);

} // namespace pocketttsstate
