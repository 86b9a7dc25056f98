#pragma once

#include "MultilingualTestVariant.hpp"
#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorl::multilingualstream {

using Model = MultilingualTestVariant::Model;
// Tokens to emit at (chunk, frame), one per symbol step, then the blank.
using Plan = std::map<std::pair<std::size_t, std::size_t>, std::vector<std::int64_t>>;

constexpr std::size_t chunkSamples = 3200;
constexpr std::int64_t blank = 5;

// Chunks of 20 mel frames (3200 samples); ids 0 "▁hello", 1 "▁world", 2 "<en>", 3 "<de>", 4 "<fr>", blank 5;
// prompts de 11, en-US 12, fr 13, default 7.
const nlohmann::json& smallMetadata();

// One of the four decoding paths: the models it needs, whether the encoder must give projected frames, and
// the model whose answer is the token.
struct DecodingPath {
    const char* name;
    std::vector<Model> models;
    bool projected;
    Model chooser;
};
const std::vector<DecodingPath>& decodingPaths();
const DecodingPath& tripleFusion();

// Writes the encoder (14 frames per chunk unless told otherwise) and the path's models, loads the manager and
// switches its energy gate off.
void loadStream(StreamingNemotronMultilingualAsrManager& manager, MultilingualTestVariant& variant,
                const DecodingPath& path, MultilingualEncoderOutputs encoder = {.frames = 14});

// The frame a decoding step was fed: the encoder answers 100 t + i for element i of frame t.
std::size_t frameOf(const testsupport::ScriptedKernel::Call& call);
std::size_t encoderCalls(MultilingualTestVariant& variant);
// Lets the chooser emit the plan; chunks count from the first encoder call after this.
void emitPlan(MultilingualTestVariant& variant, Model chooser, Plan plan);

// Says "hello world" in every decoded chunk (at frames 0 and 1). The answer depends only on the frame and the
// stream's own last token, so streams running at once on the same model cannot disturb each other's text.
std::int64_t helloWorldPerChunk(const testsupport::ScriptedKernel::Call& call);
// The text of that many decoded chunks.
std::string helloWorldTimes(std::size_t chunks);

std::vector<float> noise(std::size_t count);
std::shared_ptr<platform::audio::PCMBuffer> buffer(double sampleRate, std::uint32_t channels, std::uint32_t frames,
                                                   float value = 0.1F);

} // namespace quorl::multilingualstream
