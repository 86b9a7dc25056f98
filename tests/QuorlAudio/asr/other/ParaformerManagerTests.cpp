#include "tests/QuorlAudio/asr/other/ParaformerTestModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/other/ParaformerManager.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <exception>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;
using testsupport::ScriptedKernel;

constexpr int hello = 3, world = 4, lineBreak = 5, unknown = 9;

// Token ids read from the waveform: every sample holds one id (times the preprocessor's scale), so a test
// writes the ids it wants as the audio.
std::vector<int> idsOf(std::span<const float> waveform) {
    std::vector<int> ids;
    for (const float sample : waveform) {
        ids.push_back(static_cast<int>(std::lround(sample / 32768.0f)));
    }
    return ids;
}

std::vector<float> audioOf(const std::vector<int>& ids) { return {ids.begin(), ids.end()}; }

std::vector<int> shapeOf(const ScriptedKernel::Call& call, const std::string& name) {
    const auto& shape = call.inputs.at(name).multiArrayValue()->shape();
    return {shape.begin(), shape.end()};
}

double valueOf(const ScriptedKernel::Call& call, const std::string& name, std::size_t index = 0) {
    return call.inputs.at(name).multiArrayValue()->value(index);
}

class ParaformerManagerTests : public ::testing::Test {
protected:
    ParaformerManagerTests() { models.transcript = idsOf; }

    testsupport::RecordingLogSink log;
    ParaformerTestModels models{{{hello, "\u2581\u4f60\u597d"}, {world, "\u2581\u4e16\u754c"}, {lineBreak, "\n"}}};
    ParaformerManager manager{models.modelSet()};
};

TEST_F(ParaformerManagerTests, TokensFireThroughEveryModelAndDecodeToTrimmedText) {
    const struct {
        const char* name;
        std::vector<int> ids;
        std::string text;
    } cases[] = {
        {.name = "two word pieces", .ids = {hello, world}, .text = "\u4f60\u597d \u4e16\u754c"},
        // End of sentence does not end the text; blank, start and unknown ids are skipped.
        {.name = "special and unknown ids",
         .ids = {1, hello, 2, 0, unknown, world},
         .text = "\u4f60\u597d \u4e16\u754c"},
        // Only blanks are trimmed; a line break stays.
        {.name = "line break", .ids = {hello, lineBreak}, .text = "\u4f60\u597d\n"},
        {.name = "nothing fires", .ids = {0, 0, 0}, .text = ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manager.transcribe(audioOf(c.ids)), c.text) << c.name;
    }
}

TEST_F(ParaformerManagerTests, ModelsReceiveScaledAudioBucketedFramesAndFixedDecoderShapes) {
    const std::vector<float> audio{0.5f, -0.25f, 0.0f};
    models.transcript = [](std::span<const float>) { return std::vector<int>{hello}; };
    models.featureFrames = 129;
    EXPECT_EQ(manager.transcribe(audio), "\u4f60\u597d");

    const auto preprocessor = models.preprocessor.calls().back();
    EXPECT_EQ(testsupport::valuesOf(*preprocessor.inputs.at("waveform").multiArrayValue()),
              (std::vector<double>{16384.0, -8192.0, 0.0}));
    const auto encoder = models.encoder.calls().back();
    EXPECT_EQ(shapeOf(encoder, "speech"), (std::vector<int>{1, 256, 560}));
    EXPECT_EQ(valueOf(encoder, "speech_lengths"), 129);
    EXPECT_EQ(valueOf(encoder, "speech"), hello);
    EXPECT_EQ(shapeOf(models.cifAlphas.calls().back(), "enc_out"), (std::vector<int>{1, 256, 512}));
    const auto decoder = models.decoder.calls().back();
    EXPECT_EQ(shapeOf(decoder, "enc"), (std::vector<int>{1, 512, 512}));
    EXPECT_EQ(shapeOf(decoder, "ac"), (std::vector<int>{1, 128, 512}));
    EXPECT_EQ(valueOf(decoder, "elen"), 129);
    EXPECT_EQ(valueOf(decoder, "tn"), 1);
    EXPECT_EQ(valueOf(decoder, "enc"), hello);
    EXPECT_EQ(valueOf(decoder, "ac"), hello);
    EXPECT_TRUE(log.messages("ParaformerManager").empty());
}

TEST_F(ParaformerManagerTests, FramesBeyondTheDecoderLengthAreCutWithAWarning) {
    std::vector<int> ids(600, 0);
    ids[0] = hello;
    ids[511] = world;
    ids[512] = hello;
    EXPECT_EQ(manager.transcribe(audioOf(ids)), "\u4f60\u597d \u4e16\u754c");
    const auto encoder = models.encoder.calls().back();
    EXPECT_EQ(shapeOf(encoder, "speech"), (std::vector<int>{1, 512, 560}));
    EXPECT_EQ(valueOf(encoder, "speech_lengths"), 512);
    EXPECT_EQ(log.messages("ParaformerManager"),
              std::vector<std::string>{"audio too long (600 frames); truncating to 512"});
}

TEST_F(ParaformerManagerTests, AtMostTheDecodersTokenLengthIsDecoded) {
    std::vector<int> ids(200, hello);
    ids[127] = world;
    ids[128] = world;
    std::string expected;
    for (int token = 0; token < 127; ++token) {
        expected += token == 0 ? "\u4f60\u597d" : " \u4f60\u597d";
    }
    EXPECT_EQ(manager.transcribe(audioOf(ids)), expected + " \u4e16\u754c");
    EXPECT_EQ(valueOf(models.decoder.calls().back(), "tn"), 128);
}

TEST_F(ParaformerManagerTests, NoFiringSkipsTheDecoder) {
    EXPECT_EQ(manager.transcribe(std::vector<float>{0.0f, 0.0f}), "");
    EXPECT_TRUE(models.decoder.calls().empty());
}

TEST_F(ParaformerManagerTests, AMissingOutputOrAFailingModelFailsTheCallAndLeavesTheManagerUsable) {
    const std::vector<int> ids{hello};
    const struct {
        const char* output;
        std::string message;
    } cases[] = {
        {"features", "ASR processing failed: Paraformer preprocessor produced no `features`"},
        {"enc_out", "ASR processing failed: Paraformer encoder produced no `enc_out`"},
        {"alphas", "ASR processing failed: Paraformer CifAlphas produced no `alphas`"},
        {"logits", "ASR processing failed: Paraformer decoder produced no `logits`"},
    };
    for (const auto& c : cases) {
        models.omittedOutputs = {c.output};
        EXPECT_EQ(errorText([&] { manager.transcribe(audioOf(ids)); }), c.message);
    }
    models.omittedOutputs.clear();
    models.decoder.failPredictionsWith(std::make_exception_ptr(platform::core::SystemError("test", 3, "broken")));
    EXPECT_EQ(errorText([&] { manager.transcribe(audioOf(ids)); }), "broken");
    models.decoder.failPredictionsWith(nullptr);
    EXPECT_EQ(manager.transcribe(audioOf(ids)), "\u4f60\u597d");
}

TEST_F(ParaformerManagerTests, AFileIsConvertedTo16kHzMonoFirst) {
    testsupport::TemporaryFolder folder;
    const auto path = folder.path() / "speech.wav";
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 32000, 2, std::vector<float>(64000, 0.25f));
    models.transcript = [](std::span<const float> waveform) {
        const bool oneSecond = waveform.size() > 15900 && waveform.size() < 16100;
        return std::vector<int>{oneSecond ? hello : world};
    };
    EXPECT_EQ(manager.transcribe(path), "\u4f60\u597d");
    EXPECT_THROW(manager.transcribe(folder.path() / "missing.wav"), std::exception);
}

} // namespace
} // namespace quorl
