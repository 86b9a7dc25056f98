#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualTestVariant.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Model = MultilingualTestVariant::Model;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using Call = testsupport::ScriptedKernel::Call;
using platform::sys::LogType;
using Plan = std::map<std::pair<std::size_t, std::size_t>, std::vector<std::int64_t>>;

constexpr const char* category = "NemotronMultilingualStreaming";
constexpr std::size_t chunkSamples = 3200;
constexpr std::int64_t blank = 5;

// Chunks of 20 mel frames (3200 samples); ids 0 "▁hello", 1 "▁world", 2 "<en>", 3 "<de>", 4 "<fr>", blank 5.
const nlohmann::json smallMetadata{
    {"mel_features", 16},
    {"chunk_mel_frames", 20},
    {"total_mel_frames", 23},
    {"pre_encode_cache", 3},
    {"vocab_size", 5},
    {"encoder_dim", 4},
    {"decoder_hidden", 8},
    {"decoder_layers", 2},
    {"cache_channel_shape", {1, 2, 3, 4}},
    {"cache_time_shape", {1, 2, 4, 2}},
    {"lang_tag_token_ids", {2, 3, 4}},
    {"default_prompt_id", 7},
    {"prompt_dictionary", {{"de", 11}, {"en-US", 12}, {"fr", 13}}},
};

// The frame a decoding step is fed: the encoder answers 100 t + i for element i of frame t.
std::size_t frameOf(const Call& call) {
    const auto found =
        call.inputs.contains("encoder_proj") ? call.inputs.find("encoder_proj") : call.inputs.find("encoder");
    return static_cast<std::size_t>(found->second.multiArrayValue()->value(0) / 100);
}

std::size_t encoderCalls(MultilingualTestVariant& variant) { return variant.kernel(Model::encoder).calls().size(); }

// Emits the planned tokens of (chunk, frame) one per symbol step, then the blank; chunks count from the first
// encoder call after the script is set.
void emitPlan(MultilingualTestVariant& variant, Model chooser, Plan plan) {
    const std::size_t before = encoderCalls(variant);
    auto emitted = std::make_shared<std::map<std::pair<std::size_t, std::size_t>, std::size_t>>();
    variant.emit(chooser, [&variant, plan = std::move(plan), before, emitted](const Call& call) -> std::int64_t {
        const std::pair position{encoderCalls(variant) - before - 1, frameOf(call)};
        const auto planned = plan.find(position);
        std::size_t& count = (*emitted)[position];
        if (planned == plan.end() || count == planned->second.size()) {
            return blank;
        }
        return planned->second[count++];
    });
}

std::vector<float> noise(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>((i * 7919) % 200) / 400.0F - 0.25F;
    }
    return samples;
}

std::shared_ptr<platform::audio::PCMBuffer> stereo44k(std::uint32_t frames) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 44100, 2, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, frames);
    buffer->setFrameLength(frames);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
        std::fill_n(buffer->floatChannelData()[channel], frames, 0.1F);
    }
    return buffer;
}

struct DecodingPath {
    const char* name;
    std::vector<Model> models;
    bool projected;
    Model chooser;
};

const DecodingPath paths[] = {
    {"B3+B1", {Model::decoderJointNoEncProj}, true, Model::decoderJointNoEncProj},
    {"triple-fusion", {Model::decoderJointArgmax}, false, Model::decoderJointArgmax},
    {"merged", {Model::decoderJoint}, false, Model::decoderJoint},
    {"bare decoder+joint", {Model::decoder, Model::joint}, false, Model::joint},
};

class StreamingNemotronMultilingualAsrManagerStreamTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerStreamTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC"}) {
            environment.set(name, std::nullopt);
        }
    }

    // A loaded manager over a variant with 14 encoder frames per chunk and the gate off.
    void load(StreamingNemotronMultilingualAsrManager& manager, MultilingualTestVariant& variant,
              const DecodingPath& path, MultilingualEncoderOutputs encoder = {.frames = 14}) {
        encoder.projected = encoder.projected || path.projected;
        variant.addEncoder(encoder);
        for (const Model model : path.models) {
            variant.add(model);
        }
        manager.loadModels(variant.folder());
        Probe::setGate(manager, {.rmsThreshold = 0, .hangoverChunks = 2});
    }

    std::vector<std::string> info() const { return log.messages(category, LogType::info); }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
};

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, EveryPathTurnsPiecesOfAnyFormatIntoTextLanguageAndTimings) {
    for (const DecodingPath& path : paths) {
        for (const bool asBuffers : {false, true}) {
            SCOPED_TRACE(std::string(path.name) + (asBuffers ? ", 44.1 kHz stereo" : ", 16 kHz floats"));
            MultilingualTestVariant variant(smallMetadata);
            StreamingNemotronMultilingualAsrManager manager;
            load(manager, variant, path);
            emitPlan(variant, path.chooser, {{{0, 0}, {3, 0}}, {{10, 3}, {1}}});
            std::vector<std::string> partials;
            manager.setPartialCallback([&](const std::string& text) { partials.push_back(text); });

            if (asBuffers) {
                manager.appendAudio(*stereo44k(50000));
                EXPECT_EQ(manager.process(*stereo44k(51430)), "");
            } else {
                const auto samples = noise(11 * chunkSamples + chunkSamples / 2);
                for (std::size_t start = 0, piece = 1; start < samples.size(); start += piece, piece = piece * 3 + 7) {
                    const auto count = std::min(piece, samples.size() - start);
                    EXPECT_EQ(manager.process(std::span(samples).subspan(start, count)), "");
                }
            }
            EXPECT_EQ(partials, (std::vector<std::string>{"hello", "hello world"}));
            const auto finished = manager.finishWithTokenTimings();

            EXPECT_EQ(finished.text, "hello world");
            EXPECT_EQ(manager.detectedLanguage(), "de");
            ASSERT_EQ(finished.timings.size(), 2u);
            EXPECT_EQ(finished.timings[0], (TokenTiming{"\u2581hello", 0, 0.0, 0.08, 1.0F}));
            EXPECT_EQ(finished.timings[1].token, "\u2581world");
            EXPECT_DOUBLE_EQ(finished.timings[1].startTime, 11.44);
            EXPECT_DOUBLE_EQ(finished.timings[1].endTime, 11.52);
            EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{3, "de", 12}));
            EXPECT_EQ(manager.statistics().chunkCount, 12);
        }
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, APartialCallbackMayCallIntoItsManager) {
    MultilingualTestVariant variant(smallMetadata);
    StreamingNemotronMultilingualAsrManager manager;
    load(manager, variant, paths[1]);
    emitPlan(variant, Model::decoderJointArgmax, {{{0, 1}, {4, 1}}, {{1, 0}, {0}}});
    std::vector<std::string> seen;
    manager.setPartialCallback([&](const std::string& text) {
        seen.push_back(text + " | " + manager.getPartialTranscript() + " | " +
                       manager.detectedLanguage().value_or("none"));
    });

    manager.process(noise(2 * chunkSamples));

    EXPECT_EQ(seen, (std::vector<std::string>{"world | world hello | fr", "world hello | world hello | fr"}));
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, OnlyWholeChunksAreCutAndTheRestWaits) {
    MultilingualTestVariant variant(smallMetadata);
    StreamingNemotronMultilingualAsrManager manager;
    load(manager, variant, paths[1]);
    const std::size_t before = encoderCalls(variant);

    manager.process(noise(chunkSamples - 1));
    EXPECT_EQ(encoderCalls(variant), before);
    manager.process(noise(chunkSamples + chunkSamples / 2 + 1));
    EXPECT_EQ(encoderCalls(variant), before + 2);
    EXPECT_EQ(Probe::audioBuffer(manager).pending(), chunkSamples / 2);

    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, chunkSamples);
    buffer->setFrameLength(chunkSamples);
    manager.appendAudio(*buffer);
    EXPECT_EQ(encoderCalls(variant), before + 2);
    manager.process(std::vector<float>{});
    EXPECT_EQ(encoderCalls(variant), before + 3);
    EXPECT_EQ(Probe::processedChunks(manager), 3);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, FinishDecodesEveryPendingChunkThenPadsTheRest) {
    MultilingualTestVariant variant(smallMetadata);
    StreamingNemotronMultilingualAsrManager manager;
    load(manager, variant, paths[1]);
    emitPlan(variant, Model::decoderJointArgmax, {{{1, 0}, {0}}, {{2, 0}, {1}}});
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, 2 * chunkSamples + 1);
    buffer->setFrameLength(2 * chunkSamples + 1);
    manager.appendAudio(*buffer);
    const std::size_t before = encoderCalls(variant);

    EXPECT_EQ(manager.finish(), "hello world");

    EXPECT_EQ(encoderCalls(variant), before + 3);
    EXPECT_EQ(Probe::audioBuffer(manager).size(), 0u);
    EXPECT_EQ(manager.lastDecodeStats().processedChunks, 3);
    EXPECT_EQ(manager.finish(), "");
    EXPECT_EQ(encoderCalls(variant), before + 3);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, ASecondFinishGivesNothingAndResetForgetsTheLanguage) {
    MultilingualTestVariant variant(smallMetadata);
    StreamingNemotronMultilingualAsrManager manager;
    load(manager, variant, paths[1]);
    emitPlan(variant, Model::decoderJointArgmax, {{{0, 0}, {3, 0}}});
    manager.setAppendTerminalPunctuation(true);
    manager.process(noise(chunkSamples));

    EXPECT_EQ(manager.finish(), "Hello.");
    EXPECT_EQ(manager.finish(), "");
    EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{0, "de", 1}));
    EXPECT_TRUE(manager.getTokenTimings().empty());

    manager.reset();
    EXPECT_EQ(manager.detectedLanguage(), std::nullopt);
    EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{0, "de", 1}));
    EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 0);
    EXPECT_EQ(manager.statistics().chunkCount, 1);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, NothingRunsBeforeLoadingOrAfterCleanup) {
    StreamingNemotronMultilingualAsrManager manager;
    const std::string notInitialized = "AsrManager not initialized. Call initialize() first.";
    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(10)); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { manager.process(*stereo44k(10)); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { manager.finish(); }), notInitialized);
    EXPECT_EQ(manager.getPartialTranscript(), "");
    EXPECT_EQ(Probe::audioBuffer(manager).size(), 0u);

    MultilingualTestVariant variant(smallMetadata);
    load(manager, variant, paths[1]);
    manager.cleanup();
    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(10)); }), notInitialized);
    EXPECT_EQ(info().back(), "StreamingNemotronMultilingualAsrManager resources cleaned up");

    manager.loadModels(variant.folder());
    EXPECT_NO_THROW(manager.process(noise(chunkSamples)));
}

} // namespace
} // namespace quorl
