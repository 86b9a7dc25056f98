#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "QuorlAudio/tts/pockettts/SeededRNG.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The two stages after the flow-LM step: the flow decoder turns its output and seeded Gaussian noise into a
// 32-value latent, and the Mimi codec decoder turns the latent into 1920 samples while carrying its
// streaming state from frame to frame.
namespace quorl::PocketTtsSynthesizer {

// The codec's streaming state by state input name. Arrays are shared and swapped for the decoder's outputs.
struct MimiState {
    std::map<std::string, std::shared_ptr<platform::ml::MultiArray>> tensors;
};

// 32 latent floats. Draws 64 values of `rng` first, so the noise runs on even when the frame then fails.
std::vector<float> flowDecode(const platform::ml::MultiArray& transformerOut, float temperature,
                              const platform::ml::Model& model, SeededRNG& rng);
// The frame's 1920 samples; replaces the state's tensors with the decoder's next state.
std::vector<float> runMimiDecoder(const std::vector<float>& latent, MimiState& state, const platform::ml::Model& model,
                                  const PocketTtsMimiKeys& mimiKeys);
// Every state tensor of the keys, from "constants_bin/mimi_init_state/<name>.bin" under the language root
// when that file holds exactly the tensor's floats, zero otherwise.
MimiState loadMimiInitialState(const std::filesystem::path& from, const PocketTtsMimiKeys& mimiKeys);

// The noise of one frame: 32 Box–Muller values scaled by √temperature.
std::vector<float> flowNoise(float temperature, SeededRNG& rng);
// The first `count` elements in row-major order, widened from the array's element type; an array with fewer
// is refused with PocketTTSError::processingFailed naming `what`.
std::vector<float> readFloatArray(const platform::ml::MultiArray& from, std::size_t count, const std::string& what);

} // namespace quorl::PocketTtsSynthesizer
