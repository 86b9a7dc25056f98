#include "tests/QuorlAudio/vad/VadTestModel.hpp"

#include "QuorlAudio/vad/VadError.hpp"
#include "QuorlAudio/vad/VadManager.hpp"

#include "tests/support/ErrorText.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;
using testsupport::valuesOf;

std::vector<double> inputValues(const testsupport::ScriptedKernel::Call& call, const std::string& name) {
    return valuesOf(*call.inputs.at(name).multiArrayValue());
}

std::vector<double> repeated(std::size_t count, double value) { return std::vector<double>(count, value); }

// A block of `size` ramp samples (sample k is k / 10000) ending in `last`.
std::vector<float> rampEndingIn(std::size_t size, float last) {
    std::vector<float> block(size);
    for (std::size_t index = 0; index < size; ++index) {
        block[index] = static_cast<float>(index) / 10000.0f;
    }
    block.back() = last;
    return block;
}

class VadManagerTests : public ::testing::Test {
protected:
    testsupport::RecordingLogSink log;
    VadTestModel vad;
    VadManager manager{VadConfig::defaultConfig(), vad.model()};
};

TEST_F(VadManagerTests, TheFirstBlockSeesZeroContextAndStatesAndAShortBlockRepeatsItsLastSample) {
    const auto result = manager.processChunk(rampEndingIn(4000, 0.25f));

    const auto call = vad.kernel.calls().at(0);
    const auto audio = inputValues(call, "audio_input");
    ASSERT_EQ(audio.size(), 4160u);
    EXPECT_EQ(std::vector<double>(audio.begin(), audio.begin() + 64), repeated(64, 0.0));
    EXPECT_FLOAT_EQ(audio[64 + 3999], 0.25);
    EXPECT_EQ(std::vector<double>(audio.begin() + 64 + 4000, audio.end()), repeated(96, 0.25));
    EXPECT_EQ(inputValues(call, "hidden_state"), repeated(128, 0.0));
    EXPECT_EQ(inputValues(call, "cell_state"), repeated(128, 0.0));
    EXPECT_EQ(result.outputState.context, std::vector<float>(64, 0.25f));
    EXPECT_EQ(result.outputState.hiddenState, std::vector<float>(128, 1.0f));
    EXPECT_EQ(result.outputState.cellState, std::vector<float>(128, 2.0f));
}

TEST_F(VadManagerTests, ALongBlockIsCutToItsFirst4096SamplesAndTheStateGoesIn) {
    std::vector<float> block(5000, 0.5f);
    block[4095] = 0.75f;
    const VadState state{.hiddenState = std::vector<float>(128, 3.0f),
                         .cellState = std::vector<float>(128, 4.0f),
                         .context = std::vector<float>(64, 0.125f)};
    const auto result = manager.processChunk(block, state);

    const auto call = vad.kernel.calls().at(0);
    const auto audio = inputValues(call, "audio_input");
    EXPECT_EQ(std::vector<double>(audio.begin(), audio.begin() + 64), repeated(64, 0.125));
    EXPECT_EQ(audio.back(), 0.75);
    EXPECT_EQ(inputValues(call, "hidden_state"), repeated(128, 3.0));
    EXPECT_EQ(inputValues(call, "cell_state"), repeated(128, 4.0));
    EXPECT_EQ(result.outputState.context.back(), 0.75f);
    EXPECT_EQ(result.outputState.hiddenState, std::vector<float>(128, 4.0f));
}

TEST_F(VadManagerTests, ABlockIsVoiceFromTheThresholdOn) {
    const struct {
        float probability;
        bool voice;
    } cases[] = {{0.84f, false}, {0.85f, true}, {0.9f, true}};
    for (const auto& c : cases) {
        const auto result = manager.processChunk(std::vector<float>(4096, c.probability));
        EXPECT_EQ(result.probability, c.probability);
        EXPECT_EQ(result.isVoiceActive, c.voice) << c.probability;
    }
}

TEST_F(VadManagerTests, ARecordingIsCutIntoBlocksThatCarryTheStateOn) {
    const struct {
        std::size_t samples;
        std::size_t blocks;
    } cases[] = {{10000, 3}, {4096, 1}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(manager.processAudioSamples(std::vector<float>(c.samples, 0.5f)).size(), c.blocks) << c.samples;
    }
    std::vector<float> samples(10000, 0.0f);
    samples[4096] = 0.6f;
    samples[8192] = 0.9f;
    const auto results = manager.process(std::span<const float>(samples));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[1].probability, 0.6f);
    EXPECT_EQ(results[2].probability, 0.9f);
    EXPECT_EQ(results[2].outputState.hiddenState, std::vector<float>(128, 3.0f));
    const auto calls = vad.kernel.calls();
    EXPECT_EQ(inputValues(calls.back(), "cell_state"), repeated(128, 4.0));
    EXPECT_EQ(inputValues(calls.back(), "audio_input")[0], 0.0);
}

TEST_F(VadManagerTests, ABufferAlreadyAt16kHzMonoIsTakenAsItIs) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
    const auto buffer = platform::audio::PCMBuffer::make(*format, 5000);
    buffer->setFrameLength(5000);
    std::fill_n(buffer->floatChannelData()[0], 5000, 0.0f);
    buffer->floatChannelData()[0][4096] = 0.75f;
    const auto results = manager.process(*buffer);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].probability, 0.75f);
}

TEST_F(VadManagerTests, OutputsAreFoundByTheirExactNameOrByALowerCaseSubstring) {
    vad.probabilityOutput = "Var_VAD_Output_7";
    vad.hiddenOutput = "xNEW_HIDDEN_STATE";
    vad.cellOutput = "new_cell_state_out";
    const auto result = manager.processChunk(std::vector<float>(4096, 0.5f));
    EXPECT_EQ(result.probability, 0.5f);
    EXPECT_EQ(result.outputState.hiddenState, std::vector<float>(128, 1.0f));
    EXPECT_EQ(result.outputState.cellState, std::vector<float>(128, 2.0f));
}

TEST_F(VadManagerTests, AMissingOutputFailsTheBlockWithItsMessageAndLeavesTheManagerUsable) {
    const struct {
        const char* omitted;
        const char* log;
        const char* message;
    } cases[] = {
        {"vad_output", "No vad output found", "Model processing failed: Model processing failed: No VAD output"},
        {"new_hidden_state", "No new hidden state output found",
         "Model processing failed: Model processing failed: No new hidden state output"},
        {"new_cell_state", "No new cell state output found",
         "Model processing failed: Model processing failed: No new cell state output"},
    };
    for (const auto& c : cases) {
        vad.omittedOutputs = {c.omitted};
        EXPECT_EQ(errorText([&] { manager.processChunk(std::vector<float>(4096, 0.5f)); }), c.message);
        const auto lines = log.messages("VadManager");
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], c.log);
        EXPECT_EQ(lines.back(), c.message);
    }
    vad.omittedOutputs = {};
    EXPECT_EQ(manager.processChunk(std::vector<float>(4096, 0.5f)).probability, 0.5f);
}

TEST_F(VadManagerTests, ShortStateOutputsAreReadAsFarAsTheyGoAndTheRestIsZero) {
    vad.stateWidth = 100;
    const auto result = manager.processChunk(std::vector<float>(4096, 0.5f));
    std::vector<float> hidden(128, 0.0f);
    std::fill_n(hidden.begin(), 100, 1.0f);
    EXPECT_EQ(result.outputState.hiddenState, hidden);
    EXPECT_EQ(result.outputState.cellState.size(), 128u);
}

TEST_F(VadManagerTests, APredictionFailureBecomesAProcessingFailure) {
    vad.kernel.failPredictionsWith(std::make_exception_ptr(std::runtime_error("kernel broke")));
    try {
        manager.processChunk(std::vector<float>(4096, 0.5f));
        FAIL() << "nothing thrown";
    } catch (const VadError& error) {
        EXPECT_EQ(error.kind(), VadError::Kind::modelProcessingFailed);
        EXPECT_EQ(error.message(), "kernel broke");
    }
}

TEST_F(VadManagerTests, AManagerWithoutAModelIsNotInitialized) {
    VadManager empty(VadConfig::defaultConfig(), std::shared_ptr<platform::ml::Model>());
    EXPECT_FALSE(empty.isAvailable());
    EXPECT_TRUE(manager.isAvailable());
    EXPECT_EQ(errorText([&] { empty.processChunk(std::vector<float>(10, 0.0f)); }), "VAD system not initialized");
    EXPECT_EQ(log.messages("VadManager").front(), "VAD initialized with provided model");
}

TEST(VadManagerLoadTests, TheModelIsFetchedIntoTheModelsFolderOfTheBaseFolder) {
    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder base;
    testsupport::LoopbackHub hub;
    testsupport::RecordingLogSink log;
    VadTestModel vad;
    VadTestModel::serve(hub);
    testsupport::useLoopbackHub(environment, hub);

    const VadManager manager(VadConfig{.computeUnits = platform::ml::ComputeUnits::cpuOnly}, base.path());
    EXPECT_TRUE(manager.isAvailable());
    EXPECT_TRUE(std::filesystem::exists(base.path() / "Models" / "silero-vad" /
                                        "silero-vad-unified-256ms-v6.2.1.mlmodelc" / "model.json"));
    EXPECT_EQ(vad.kernel.loads().back().configuration.computeUnits, platform::ml::ComputeUnits::cpuOnly);
    const auto lines = log.messages("VadManager");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "VAD model loaded successfully");
    EXPECT_TRUE(lines[1].starts_with("VAD system initialized in ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("s")) << lines[1];
}

} // namespace
} // namespace quorl
