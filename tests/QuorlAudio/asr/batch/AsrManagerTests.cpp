#include "AsrManagerTestModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::errorText;

constexpr const char* notInitializedText = "AsrManager not initialized. Call initialize() first.";
constexpr const char* invalidAudioText = "Invalid audio data provided. Must be at least 300ms of 16kHz audio.";
constexpr const char* jointFailureText = "joint failed";

std::vector<float> audio(std::size_t count) { return std::vector<float>(count, 0.25f); }

// A file of `frames` frames of a quiet tone at the rate, in 32-bit float WAV.
std::filesystem::path writeWav(const std::filesystem::path& path, int sampleRate, int channels, std::size_t frames) {
    std::vector<float> interleaved(frames * static_cast<std::size_t>(channels));
    for (std::size_t index = 0; index < interleaved.size(); ++index) {
        interleaved[index] = 0.1f * static_cast<float>(std::sin(0.05 * static_cast<double>(index)));
    }
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, sampleRate, channels, interleaved);
    return path;
}

std::shared_ptr<platform::audio::PCMBuffer> buffer(double sampleRate, std::uint32_t channels, std::uint32_t frames) {
    const auto format =
        platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, sampleRate, channels, false);
    auto pcm = platform::audio::PCMBuffer::make(*format, frames);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        std::fill_n(pcm->floatChannelData()[channel], frames, 0.2f);
    }
    pcm->setFrameLength(frames);
    return pcm;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    return {std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()};
}

class AsrManagerTest : public ::testing::Test {
protected:
    AsrManagerTest() {
        environment_.set("TDT_EMISSION_DELAY_FRAMES", std::nullopt);
        environment_.set("TMPDIR", temporaryFiles_.path().string());
        models_.jointAnswers = {{2, {.token = 5, .probability = 0.9f}}, {3, {.token = 6, .probability = 0.7f}}};
    }

    // "audio_length" of the preprocessor's last window.
    double lastAudioLength() const {
        return models_.preprocessor.calls().back().inputs.at("audio_length").multiArrayValue()->value(0);
    }

    AsrModels v3Set() { return models_.modelSet(AsrModelVersion::v3, {{5, "\u2581hello"}, {6, "\u2581world"}}); }

    std::shared_ptr<AsrManager> loadedManager(ASRConfig config = ASRConfig()) {
        return AsrManager::create(std::move(config), v3Set());
    }

    // "hello world" from the scripted tokens at frames 2 and 3.
    static void expectScriptedResult(const ASRResult& result) {
        EXPECT_EQ(result.text, "hello world");
        EXPECT_FLOAT_EQ(result.confidence, 0.8f);
        ASSERT_TRUE(result.tokenTimings.has_value());
        ASSERT_EQ(result.tokenTimings->size(), 2u);
        const auto& hello = result.tokenTimings->at(0);
        const auto& world = result.tokenTimings->at(1);
        EXPECT_EQ(hello.token, " hello");
        EXPECT_EQ(hello.tokenId, 5);
        EXPECT_DOUBLE_EQ(hello.startTime, 0.08);
        EXPECT_DOUBLE_EQ(hello.endTime, 0.16);
        EXPECT_FLOAT_EQ(hello.confidence, 0.9f);
        EXPECT_EQ(world.token, " world");
        EXPECT_DOUBLE_EQ(world.startTime, 0.16);
        EXPECT_DOUBLE_EQ(world.endTime, 0.24);
        EXPECT_FALSE(result.performanceMetrics.has_value());
        EXPECT_FALSE(result.ctcDetectedTerms.has_value());
        EXPECT_FALSE(result.ctcAppliedTerms.has_value());
    }

    testsupport::ScopedEnvironment environment_;
    testsupport::TemporaryFolder temporaryFiles_;
    testsupport::TemporaryFolder folder_;
    AsrManagerTestModels models_;
    TdtDecoderState state_ = TdtDecoderState::make(2);
};

TEST_F(AsrManagerTest, WithoutModelsNothingCanBeTranscribed) {
    const auto manager = AsrManager::create();

    EXPECT_FALSE(manager->windowInference().isAvailable());
    EXPECT_EQ(manager->windowInference().modelVersion(), std::nullopt);
    EXPECT_EQ(manager->windowInference().decoderLayerCount(), 2);
    EXPECT_EQ(manager->makeWorkerClone(), nullptr);
    EXPECT_EQ(errorText([&] { manager->transcribe(audio(16000), state_); }), notInitializedText);
    EXPECT_EQ(errorText([&] { manager->transcribe(audio(240001), state_); }), notInitializedText);
}

TEST_F(AsrManagerTest, AvailabilityFollowsTheFrontEndTheSetNeeds) {
    const struct {
        const char* name;
        std::function<void(AsrModels&)> change;
        std::function<void(AsrManager&)> afterBinding;
        bool available;
    } cases[] = {
        {"complete v3 set", [](AsrModels&) {}, [](AsrManager&) {}, true},
        {"v3 set without encoder", [](AsrModels& set) { set.encoder = nullptr; }, [](AsrManager&) {}, false},
        {"v3 set without preprocessor", [](AsrModels& set) { set.preprocessor = nullptr; }, [](AsrManager&) {}, false},
        {"v3 set without joint", [](AsrModels& set) { set.joint = nullptr; }, [](AsrManager&) {}, false},
        {"models bound without a set, no encoder", [](AsrModels& set) { set.encoder = nullptr; },
         [](AsrManager& manager) { manager.windowInference().setAsrModels(std::nullopt); }, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        AsrModels set = v3Set();
        testCase.change(set);
        const auto manager = AsrManager::create(ASRConfig(), set);
        testCase.afterBinding(*manager);
        EXPECT_EQ(manager->windowInference().isAvailable(), testCase.available);
    }
    const auto fused = AsrManager::create(ASRConfig(), models_.modelSet(AsrModelVersion::tdtCtc110m));
    EXPECT_TRUE(fused->windowInference().isAvailable());
    EXPECT_EQ(fused->windowInference().decoderLayerCount(), 1);
}

TEST_F(AsrManagerTest, LoadModelsBindsTheSetAndSaysSo) {
    const testsupport::RecordingLogSink sink;
    const AsrModels set = v3Set();
    const auto boundAtCreation = AsrManager::create(ASRConfig(), set);
    EXPECT_TRUE(sink.messages("ASR").empty());

    const auto manager = AsrManager::create();
    manager->loadModels(set);

    EXPECT_EQ(sink.messages("ASR"), (std::vector<std::string>{"Loading AsrManager with provided models",
                                                              "AsrManager loaded successfully with provided models"}));
    EXPECT_TRUE(manager->windowInference().isAvailable());
    EXPECT_EQ(manager->windowInference().modelVersion(), AsrModelVersion::v3);
    EXPECT_EQ(manager->windowInference().preprocessorModel(), set.preprocessor);
    EXPECT_EQ(manager->windowInference().encoderModel(), set.encoder);
    EXPECT_EQ(manager->windowInference().decoderModel(), set.decoder);
    EXPECT_EQ(manager->windowInference().jointModel(), set.joint);
    EXPECT_EQ(manager->windowInference().vocabulary(), set.vocabulary);
}

TEST_F(AsrManagerTest, CleanupDropsTheModelsUntilTheNextLoad) {
    const testsupport::RecordingLogSink sink;
    const auto manager = loadedManager();

    manager->cleanup();

    EXPECT_EQ(sink.messages("ASR"), std::vector<std::string>{"AsrManager resources cleaned up"});
    EXPECT_FALSE(manager->windowInference().isAvailable());
    EXPECT_EQ(manager->windowInference().asrModels(), std::nullopt);
    EXPECT_EQ(manager->windowInference().preprocessorModel(), nullptr);
    EXPECT_EQ(manager->windowInference().vocabulary().at(5), "\u2581hello");
    EXPECT_EQ(errorText([&] { manager->transcribe(audio(16000), state_); }), notInitializedText);
    EXPECT_TRUE(models_.preprocessor.calls().empty());

    manager->loadModels(v3Set());
    expectScriptedResult(manager->transcribe(audio(16000), state_));
}

TEST_F(AsrManagerTest, ResetAndCleanupEmptyTheSharedPoolInTheBackground) {
    const std::vector<std::size_t> shape{1, 240000};
    for (const auto& release : std::vector<std::function<void(AsrManager&)>>{
             [](AsrManager& manager) { manager.reset(); }, [](AsrManager& manager) { manager.cleanup(); }}) {
        const auto manager = loadedManager();
        finishSharedPoolJobs();
        const auto marker = sharedMLArrayCache().getArray(shape, DataType::float32);
        sharedMLArrayCache().returnArray(marker);

        release(*manager);
        finishSharedPoolJobs();

        EXPECT_NE(sharedMLArrayCache().getArray(shape, DataType::float32), marker);
    }
    const auto manager = loadedManager();
    manager->reset();
    EXPECT_TRUE(manager->windowInference().isAvailable());
}

TEST_F(AsrManagerTest, WorkerClonesShareTheConfigurationAndTheModels) {
    ASRConfig config;
    config.parallelChunkConcurrency = 3;
    const auto manager = loadedManager(config);
    manager->windowInference().setVocabulary({{1, "changed"}});

    const auto clone = manager->makeWorkerClone();

    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, manager);
    EXPECT_EQ(clone->config(), config);
    EXPECT_EQ(clone->windowInference().preprocessorModel(), manager->windowInference().preprocessorModel());
    EXPECT_EQ(clone->windowInference().jointModel(), manager->windowInference().jointModel());
    EXPECT_EQ(clone->windowInference().vocabulary(), manager->windowInference().asrModels()->vocabulary);
}

TEST_F(AsrManagerTest, ShortAudioIsPaddedToWholeFramesAndOneWindow) {
    const struct {
        std::size_t samples;
        double audioLength;
    } cases[] = {{4800, 5120}, {16000, 16640}, {239361, 239361}, {240000, 240000}};
    const auto manager = loadedManager();
    EXPECT_EQ(errorText([&] { manager->transcribe(audio(4799), state_); }), invalidAudioText);
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.samples);
        const ASRResult result = manager->transcribe(audio(testCase.samples), state_);

        const auto input = models_.preprocessor.calls().back().inputs;
        const auto signal = input.at("audio_signal").multiArrayValue();
        EXPECT_EQ(signal->shape(), (std::vector<std::size_t>{1, 240000}));
        EXPECT_EQ(signal->value(testCase.samples - 1), 0.25);
        EXPECT_EQ(signal->value(239999), testCase.samples == 240000 ? 0.25 : 0.0);
        EXPECT_EQ(input.at("audio_length").multiArrayValue()->value(0), testCase.audioLength);
        EXPECT_DOUBLE_EQ(result.duration, static_cast<double>(testCase.samples) / 16000);
    }
}

TEST_F(AsrManagerTest, TranscribesSamplesBuffersAndFilesToTextWithTimings) {
    const auto wav = writeWav(folder_.path() / "speech.wav", 44100, 2, 44100);
    using Transcription = std::function<ASRResult(AsrManager&, TdtDecoderState&)>;
    const struct {
        const char* name;
        Transcription transcribe;
    } inputs[] = {
        {"samples", [](AsrManager& manager, auto& state) { return manager.transcribe(audio(16000), state); }},
        {"16 kHz mono buffer",
         [](AsrManager& manager, auto& state) { return manager.transcribe(*buffer(16000, 1, 16000), state); }},
        {"48 kHz stereo buffer",
         [](AsrManager& manager, auto& state) { return manager.transcribe(*buffer(48000, 2, 48000), state); }},
        {"44.1 kHz stereo file", [&](AsrManager& manager, auto& state) { return manager.transcribe(wav, state); }},
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.name);
        const auto manager = loadedManager();
        TdtDecoderState state = TdtDecoderState::make(2);

        const ASRResult result = input.transcribe(*manager, state);

        expectScriptedResult(result);
        EXPECT_NEAR(result.duration, 1.0, 0.01);
        EXPECT_EQ(state.lastToken, 6);
    }
}

TEST_F(AsrManagerTest, LongAudioEndsItsProgressSessionWithTheError) {
    const auto manager = loadedManager();
    auto progress = manager->transcriptionProgressStream();
    EXPECT_EQ(progress.next(), 0.0);

    expectScriptedResult(manager->transcribe(audio(16000), state_));
    const auto stateAfterWindow = state_.lastToken;
    models_.joint.failPredictionsWith(std::make_exception_ptr(std::runtime_error(jointFailureText)));
    EXPECT_EQ(errorText([&] { manager->transcribe(audio(240001), state_); }), jointFailureText);

    EXPECT_EQ(progress.next(), 238080.0 / 240001);
    EXPECT_EQ(errorText([&] { progress.next(); }), jointFailureText);
    EXPECT_EQ(state_.lastToken, stateAfterWindow);
}

TEST_F(AsrManagerTest, FilesBeyondTheStreamingThresholdTakeTheDiskBackedRoad) {
    ASRConfig config;
    config.streamingThreshold = 16000;
    ASRConfig readWhole = config;
    readWhole.streamingEnabled = false;
    // At 44.1 kHz, 44100 frames make exactly 16000 samples and 44101 frames one more.
    const auto atThreshold = writeWav(folder_.path() / "at.wav", 44100, 1, 44100);
    const auto beyond = writeWav(folder_.path() / "beyond.wav", 44100, 1, 44101);

    expectScriptedResult(loadedManager(config)->transcribe(atThreshold, state_));
    // The disk-backed road hands the chunker the 16000 converted samples as they are; a file read whole is padded
    // to whole frames.
    expectScriptedResult(loadedManager(config)->transcribe(beyond, state_));
    EXPECT_EQ(lastAudioLength(), 16000);
    EXPECT_TRUE(filesIn(temporaryFiles_.path()).empty());
    expectScriptedResult(loadedManager(readWhole)->transcribe(beyond, state_));
    EXPECT_EQ(lastAudioLength(), 16640);
}

TEST_F(AsrManagerTest, DiskBackedFilesAreCheckedAndTheirSampleFilesRemoved) {
    const auto manager = loadedManager();
    auto progress = manager->transcriptionProgressStream();
    EXPECT_EQ(progress.next(), 0.0);
    const auto tooShort = writeWav(folder_.path() / "short.wav", 16000, 1, 3200);
    const auto tenSeconds = writeWav(folder_.path() / "ten.wav", 16000, 1, 160000);
    const auto sixteenSeconds = writeWav(folder_.path() / "sixteen.wav", 16000, 1, 256000);

    EXPECT_EQ(errorText([&] { AsrManager::create()->transcribeDiskBacked(tenSeconds, state_); }), notInitializedText);
    EXPECT_EQ(errorText([&] { manager->transcribeDiskBacked(tooShort, state_); }), invalidAudioText);
    expectScriptedResult(manager->transcribeDiskBacked(tenSeconds, state_));
    EXPECT_TRUE(filesIn(temporaryFiles_.path()).empty());
    // The session is still open: the transcriptions so far did not touch it.
    EXPECT_TRUE(progress.continuation().yield(0.5));
    EXPECT_EQ(progress.next(), 0.5);

    models_.joint.failPredictionsWith(std::make_exception_ptr(std::runtime_error(jointFailureText)));
    EXPECT_EQ(errorText([&] { manager->transcribeDiskBacked(sixteenSeconds, state_); }), jointFailureText);
    EXPECT_EQ(progress.next(), 238080.0 / 256000);
    EXPECT_EQ(errorText([&] { progress.next(); }), jointFailureText);
    EXPECT_TRUE(filesIn(temporaryFiles_.path()).empty());
}

} // namespace
} // namespace quorl
