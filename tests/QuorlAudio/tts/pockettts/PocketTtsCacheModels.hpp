#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "platform/ml/Model.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// Honest stand-ins for the models that carry the PocketTTS key-value cache: each layer's cache comes back as
// it went in, and its position moves on by the tokens the call consumed.
namespace pocketttscache {

// Outputs "cache_out<i>", "position_out<i>", with `split` also "v_cache_out<i>"; with `flowlm` also
// "transformer_out" and "eos_logit".
quorl::PocketTtsLayerKeys layerKeys(std::int64_t layers, bool split, bool flowlm);

// A conditioner taking one token or up to 256, or a flow-LM step taking a [1, 1, 32] sequence.
nlohmann::json conditionerManifest(const std::string& kernel);
nlohmann::json flowlmManifest(const std::string& kernel);
std::shared_ptr<platform::ml::Model> loadModel(const std::filesystem::path& folder, const std::string& name,
                                               const nlohmann::json& manifest);

// "valid_len" of a prefill call, 1 for any other.
double tokensOf(const testsupport::ScriptedKernel::Call& call);
// Every layer's cache (from "cache<i>" or "k_cache<i>" and "v_cache<i>") and its position plus `advance`,
// under the keys' names.
testsupport::ScriptedKernel::Outputs cacheOutputs(const testsupport::ScriptedKernel::Call& call,
                                                  const quorl::PocketTtsLayerKeys& keys, double advance);

} // namespace pocketttscache
