#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCloner.hpp"
#include "platform/dsp/Half.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace cloner = PocketTtsVoiceCloner;
using platform::ml::DataType;
using platform::ml::MultiArray;
using platform::sys::LogType;
using testsupport::errorText;
using Lines = std::vector<std::string>;

constexpr std::size_t width = 1024;

// Exact in half precision, and different for every frame of a short voice and every value of a frame's eight.
float pattern(std::size_t frame, std::size_t value) {
    return static_cast<float>(frame % 16) + static_cast<float>(value % 8) * 0.125F;
}

std::vector<float> expectedPrompt(std::size_t frames) {
    std::vector<float> values;
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t j = 0; j < width; ++j) {
            values.push_back(pattern(i, j));
        }
    }
    return values;
}

// A [1, frames, 1024] output laid out with the given frame and element strides.
std::shared_ptr<MultiArray> conditioning(std::size_t frames, DataType dataType, std::size_t frameStride,
                                         std::size_t elementStride) {
    const std::size_t elements = frames * frameStride;
    auto* memory = new double[elements]();
    auto array = std::make_shared<MultiArray>(memory, MultiArray::Shape{1, frames, width}, dataType,
                                              MultiArray::Shape{elements, frameStride, elementStride},
                                              [](void* data) { delete[] static_cast<double*>(data); });
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t j = 0; j < width; ++j) {
            array->setValue(i * width + j, pattern(i, j));
        }
    }
    return array;
}

class PocketTtsVoiceClonerTest : public ::testing::Test {
protected:
    std::shared_ptr<platform::ml::Model> encoder(std::size_t frames, DataType dataType = DataType::float32) {
        output = conditioning(frames, dataType, width, 1);
        pocketttspacks::writeMimiEncoder(folder, frames, dataType);
        return platform::ml::Model::load(folder / "mimi_encoderv2.mlmodelc");
    }

    std::vector<double> encoderInput() const {
        return testsupport::valuesOf(*kernel.calls().at(0).inputs.at("audio").multiArrayValue());
    }

    Lines lines() const { return sink.messages("PocketTtsVoiceCloner", LogType::info); }

    testsupport::TemporaryFolder scratch;
    const fs::path folder = scratch.path();
    testsupport::RecordingLogSink sink;
    std::shared_ptr<MultiArray> output;
    testsupport::ScriptedKernel kernel{pocketttspacks::mimiEncoderKernel, [this](const auto&) {
                                           return testsupport::ScriptedKernel::Outputs{{"conditioning", output}};
                                       }};
};

TEST_F(PocketTtsVoiceClonerTest, OneSecondGivesThirteenFramesFromTenPaddedSeconds) {
    const auto voice = cloner::cloneVoice(std::vector<float>(24000, 0.5F), *encoder(125));

    EXPECT_EQ(voice.promptLength, 13);
    EXPECT_EQ(voice.audioPrompt, expectedPrompt(13));
    EXPECT_FALSE(voice.cacheSnapshot);
    const auto input = encoderInput();
    ASSERT_EQ(input.size(), 240000u);
    EXPECT_EQ(input[23999], 0.5);
    EXPECT_EQ(input[24000], 0.0);
    EXPECT_EQ(lines(),
              (Lines{"Encoding 24000 samples (1.0s) padded/truncated to 240000", "Encoded to 125 frames, using 13"}));
}

TEST_F(PocketTtsVoiceClonerTest, AClipUnderOneSecondIsRefused) {
    EXPECT_EQ(errorText([&] { cloner::cloneVoice(std::vector<float>(23999, 0.5F), *encoder(125)); }),
              "Processing failed: Audio too short for voice cloning: 1.0s (minimum 1.0s required)");
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(PocketTtsVoiceClonerTest, ALongClipIsCutToTenSecondsAndToTheEncodersFrames) {
    std::vector<float> clip(360000, 0.25F);
    clip[239999] = 0.75F;

    const auto voice = cloner::cloneVoice(clip, *encoder(100));

    EXPECT_EQ(voice.promptLength, 100);
    EXPECT_EQ(encoderInput().back(), 0.75);
    EXPECT_EQ(lines().front(), "Encoding 240000 samples (15.0s) padded/truncated to 240000");
}

TEST_F(PocketTtsVoiceClonerTest, EveryOutputLayoutIsReadFrameByFrame) {
    struct Case {
        const char* name;
        DataType dataType;
        std::size_t frameStride;
        std::size_t elementStride;
    };
    for (const Case& c :
         {Case{"16-bit", DataType::float16, width, 1}, Case{"16-bit strided", DataType::float16, 2 * width, 2},
          Case{"padded frames", DataType::float32, width + 16, 1}, Case{"64-bit", DataType::float64, width, 1}}) {
        SCOPED_TRACE(c.name);
        const auto model = encoder(125, c.dataType);
        output = conditioning(125, c.dataType, c.frameStride, c.elementStride);

        EXPECT_EQ(cloner::cloneVoice(std::vector<float>(48000, 0.1F), *model).audioPrompt, expectedPrompt(25));
    }
}

TEST_F(PocketTtsVoiceClonerTest, AnEncoderWithoutConditioningFails) {
    const auto model = encoder(125);
    output = nullptr;
    EXPECT_EQ(errorText([&] { cloner::cloneVoice(std::vector<float>(24000, 0.1F), *model); }),
              "Processing failed: Failed to get conditioning output from encoder");
}

TEST_F(PocketTtsVoiceClonerTest, ClipsAreReadFromAudioFilesAt24Kilohertz) {
    const auto clip = folder / "clip.wav";
    testsupport::writeSoundFile(clip, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, std::vector<float>(144000, 0.5F));
    EXPECT_EQ(cloner::cloneVoice(clip, *encoder(125)).promptLength, 19);

    const auto empty = folder / "empty.wav";
    testsupport::writeSoundFile(empty, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 24000, 1, {});
    EXPECT_EQ(errorText([&] { cloner::cloneVoice(empty, *encoder(125)); }),
              "Processing failed: Failed to load audio file: Processing failed: Audio file contains no samples");
    EXPECT_TRUE(errorText([&] {
                    cloner::cloneVoice(folder / "absent.wav", *encoder(125));
                }).starts_with("Processing failed: Failed to load audio file: "));
}

TEST_F(PocketTtsVoiceClonerTest, AVoiceSavesAsRawFloatsAndLoadsBackEqual) {
    const PocketTtsVoiceData voice{.audioPrompt = expectedPrompt(38), .promptLength = 38, .cacheSnapshot = {}};
    const auto file = folder / "cloned.bin";

    cloner::saveVoice(voice, file);
    const auto loaded = cloner::loadVoice(file);

    EXPECT_EQ(fs::file_size(file), 155648u);
    EXPECT_EQ(loaded.audioPrompt, voice.audioPrompt);
    EXPECT_EQ(loaded.promptLength, 38);
    EXPECT_EQ(lines(),
              (Lines{"Saved voice to cloned.bin (152 KB)", "Loaded voice from cloned.bin: 38 frames (152 KB)"}));
}

TEST_F(PocketTtsVoiceClonerTest, VoiceFilesOfWholeFramesUpTo125Load) {
    struct Case {
        std::size_t bytes;
        std::string outcome;
    };
    for (const Case& c : {Case{4095, "Processing failed: Invalid voice file size: 4095 bytes (not divisible by "
                                     "embedding dim 1024)"},
                          Case{4100, "Processing failed: Invalid voice file size: 4100 bytes (not divisible by "
                                     "embedding dim 1024)"},
                          Case{4099, "1 frame"}, Case{512000, "125 frames"},
                          Case{516096, "Processing failed: Voice file too large: 126 frames (max 125)"}}) {
        const auto file = folder / (std::to_string(c.bytes) + ".bin");
        pocketttsfixtures::writeFile(file, std::string(c.bytes, '\0'));
        std::string outcome;
        try {
            const auto frames = cloner::loadVoice(file).promptLength;
            outcome = std::to_string(frames) + (frames == 1 ? " frame" : " frames");
        } catch (const PocketTTSError& error) {
            outcome = error.what();
        }
        EXPECT_EQ(outcome, c.outcome) << c.bytes;
    }
}

} // namespace
} // namespace quorl
