#include "AsrManagerTestModels.hpp"
#include "AsrModelsTest.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/ASRResult.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/batch/WordTiming.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/SoundFileWriter.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstddef>
#include <filesystem>
#include <map>
#include <numbers>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::fileContents;
using testsupport::ScriptedKernel;

constexpr double frameSeconds = 0.08;

// One token the scripted joint emits at an encoder frame, and the vocabulary piece of its id.
struct Emission {
    int frame;
    int tokenId;
    std::string piece;
    float probability;
};

struct EndToEndCase {
    AsrModelVersion version;
    // Where the preprocessor must run: on the CPU alone beside a separate encoder, else where the
    // configuration says.
    ComputeUnits preprocessorUnits;
    std::vector<Emission> emissions;
    std::string text;
    float confidence;
    std::vector<WordTiming> words;
};

void PrintTo(const EndToEndCase& testCase, std::ostream* out) { *out << description(testCase.version); }

// Frames 1 to 8 only: the shortest audio below covers 13 frames, and the end of a last window is looked at
// again, which must find blanks there.
const EndToEndCase cases[] = {
    {.version = AsrModelVersion::v2,
     .preprocessorUnits = ComputeUnits::cpuOnly,
     .emissions = {{2, 101, "\u2581hello", 0.9f}, {4, 102, "\u2581wor", 0.8f}, {5, 103, "ld", 0.7f}},
     .text = "hello world",
     .confidence = 0.8f,
     .words = {{"hello", 0.08, 0.16}, {"world", 0.24, 0.40}}},
    {.version = AsrModelVersion::v3,
     .preprocessorUnits = ComputeUnits::cpuOnly,
     .emissions = {{1, 4001, "\u2581Bon", 0.95f},
                   {2, 4002, "jour", 0.85f},
                   {4, 4003, "\u2581le", 0.75f},
                   {6, 4004, "\u2581monde", 0.65f},
                   {7, 4005, ".", 0.6f}},
     .text = "Bonjour le monde.",
     .confidence = 0.76f,
     .words = {{"Bonjour", 0.0, 0.16}, {"le", 0.24, 0.32}, {"monde.", 0.40, 0.56}}},
    {.version = AsrModelVersion::tdtCtc110m,
     .preprocessorUnits = ComputeUnits::cpuAndNeuralEngine,
     .emissions = {{3, 201, "\u2581quick", 0.9f},
                   {5, 202, "\u2581bro", 0.6f},
                   {6, 203, "wn", 0.6f},
                   {8, 204, "\u2581fox", 0.9f}},
     .text = "quick brown fox",
     .confidence = 0.75f,
     .words = {{"quick", 0.16, 0.24}, {"brown", 0.32, 0.48}, {"fox", 0.56, 0.64}}},
    {.version = AsrModelVersion::tdtJa,
     .preprocessorUnits = ComputeUnits::cpuOnly,
     .emissions = {{2, 2001, "\u2581こんにちは", 0.9f}, {3, 2002, "世界", 0.8f}, {4, 2003, "。", 0.7f}},
     .text = "こんにちは世界。",
     .confidence = 0.8f,
     .words = {{"こんにちは世界。", 0.08, 0.32}}},
};

std::vector<float> tone(std::size_t frames, int sampleRate) {
    std::vector<float> samples(frames);
    for (std::size_t index = 0; index < frames; ++index) {
        const double seconds = static_cast<double>(index) / sampleRate;
        samples[index] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440 * seconds));
    }
    return samples;
}

// One second of a tone at 44.1 kHz in stereo (the right channel at half the level), as 16-bit PCM.
fs::path writeStereoWav(const fs::path& path) {
    std::vector<float> interleaved;
    for (const float sample : tone(44100, 44100)) {
        interleaved.push_back(sample);
        interleaved.push_back(sample / 2);
    }
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, interleaved);
    return path;
}

std::set<ComputeUnits> unitsPredictedWith(const ScriptedKernel& kernel) {
    std::set<ComputeUnits> units;
    for (const auto& call : kernel.calls()) {
        units.insert(call.configuration.computeUnits);
    }
    return units;
}

// The repository of a version served by a loopback hub, its bundles naming the scripted transducer kernels
// that spell the case's tokens, and the toolkit's model cache in the scratch folder.
class AsrEndToEndTest : public testing::AsrModelsTest, public ::testing::WithParamInterface<EndToEndCase> {
protected:
    AsrEndToEndTest() { environment.set("TDT_EMISSION_DELAY_FRAMES", std::nullopt); }

    void serve(const EndToEndCase& testCase) {
        const AsrModelVersion version = testCase.version;
        const std::string repository = remotePath(quorl::repo(version));
        const auto documents = scripted.manifests(version);
        serveBundle(repository, preprocessorFileName(version), documents.preprocessor);
        if (const auto encoder = encoderFileName(version, ParakeetEncoderPrecision::int8)) {
            serveBundle(repository, *encoder, documents.encoder.value());
        }
        serveBundle(repository, decoderFileName(version), documents.decoder);
        serveBundle(repository, jointFileName(version), documents.joint);
        nlohmann::json vocabulary = nlohmann::json::object();
        for (const auto& emission : testCase.emissions) {
            vocabulary[std::to_string(emission.tokenId)] = emission.piece;
            scripted.jointAnswers[emission.frame] = {.token = emission.tokenId, .probability = emission.probability};
        }
        hub.putFile(repository, vocabularyFileName(version), vocabulary.dump());
    }

    // Every bundle the runtime loaded, during the download's checks and the set's load alike, with each set
    // of compute units it was loaded for: a file loaded once for the wrong units shows up here.
    std::map<fs::path, std::set<ComputeUnits>> loadedUnits() const {
        std::map<fs::path, std::set<ComputeUnits>> units;
        for (const ScriptedKernel* kernel : {&scripted.preprocessor, &scripted.fusedPreprocessor, &scripted.encoder,
                                             &scripted.decoder, &scripted.joint}) {
            for (const auto& load : kernel->loads()) {
                units[load.bundlePath].insert(load.configuration.computeUnits);
            }
        }
        return units;
    }

    static std::map<fs::path, std::set<ComputeUnits>> expectedUnits(const EndToEndCase& testCase) {
        const fs::path cache = folderOf(testCase.version);
        std::map<fs::path, std::set<ComputeUnits>> units{
            {cache / preprocessorFileName(testCase.version), {testCase.preprocessorUnits}},
            {cache / decoderFileName(testCase.version), {ComputeUnits::cpuAndNeuralEngine}},
            {cache / jointFileName(testCase.version), {ComputeUnits::cpuAndNeuralEngine}},
        };
        if (const auto encoder = encoderFileName(testCase.version, ParakeetEncoderPrecision::int8)) {
            units[cache / *encoder] = {ComputeUnits::cpuAndNeuralEngine};
        }
        return units;
    }

    // Each token spans the one frame the joint gives it, and the default emission delay of one frame starts
    // it a frame early.
    static void expectTranscript(const ASRResult& result, const EndToEndCase& testCase) {
        EXPECT_EQ(result.text, testCase.text);
        EXPECT_FLOAT_EQ(result.confidence, testCase.confidence);
        ASSERT_TRUE(result.tokenTimings.has_value());
        ASSERT_EQ(result.tokenTimings->size(), testCase.emissions.size());
        for (std::size_t index = 0; index < testCase.emissions.size(); ++index) {
            const Emission& emission = testCase.emissions[index];
            const TokenTiming& timing = result.tokenTimings->at(index);
            std::string token = emission.piece;
            if (token.starts_with(ASRConstants::sentencePieceWordBoundary)) {
                token.replace(0, ASRConstants::sentencePieceWordBoundary.size(), " ");
            }
            EXPECT_EQ(timing.token, token);
            EXPECT_EQ(timing.tokenId, emission.tokenId);
            EXPECT_NEAR(timing.startTime, (emission.frame - 1) * frameSeconds, 1e-9) << token;
            EXPECT_NEAR(timing.endTime, emission.frame * frameSeconds, 1e-9) << token;
            EXPECT_FLOAT_EQ(timing.confidence, emission.probability);
        }
        const auto words = buildWordTimings(*result.tokenTimings);
        ASSERT_EQ(words.size(), testCase.words.size());
        for (std::size_t index = 0; index < words.size(); ++index) {
            EXPECT_EQ(words[index].word, testCase.words[index].word);
            EXPECT_NEAR(words[index].startTime, testCase.words[index].startTime, 1e-9) << words[index].word;
            EXPECT_NEAR(words[index].endTime, testCase.words[index].endTime, 1e-9) << words[index].word;
        }
    }

    void serveBundle(const std::string& repository, const std::string& name, const nlohmann::json& manifest) {
        const fs::path bundle = testsupport::writeModelBundle(folder / "served", name, manifest);
        for (const char* file : {"coremldata.bin", "model.json"}) {
            hub.putFile(repository, platform::core::concatenated({name, "/", file}), fileContents(bundle / file));
        }
    }

    AsrManagerTestModels scripted;
};

TEST_P(AsrEndToEndTest, TheHubsModelsTranscribeAFileAndSamplesToTheScriptedText) {
    const EndToEndCase& testCase = GetParam();
    const AsrModelVersion version = testCase.version;
    serve(testCase);

    // As the host prepares its recogniser: download into the default cache folder, then load from it.
    const fs::path directory = AsrModels::download({.version = version}, recordProgress(), modelHub);
    const AsrModels models =
        AsrModels::load(directory, {.version = version, .encoderPrecision = ParakeetEncoderPrecision::int8},
                        recordProgress(), AsrModels::hubLoader(modelHub));

    EXPECT_EQ(directory, AsrModels::defaultCacheDirectory(version));
    EXPECT_TRUE(AsrModels::modelsExist(directory, version, ParakeetEncoderPrecision::int8));
    EXPECT_EQ(loadedUnits(), expectedUnits(testCase));
    EXPECT_EQ(models.version, version);
    EXPECT_EQ(models.encoder == nullptr, hasFusedEncoder(version));
    EXPECT_EQ(models.ctcHead, nullptr);
    EXPECT_EQ(models.configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(models.configuration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(models.vocabulary.size(), testCase.emissions.size());
    // One finished progress run per file for the download and one for the load.
    EXPECT_EQ(progressRuns(), 2 * expectedUnits(testCase).size());

    const auto manager = AsrManager::create(ASRConfig::defaultConfig(), models);
    TdtDecoderState fileState = TdtDecoderState::make(decoderLayers(version));
    const ASRResult fromFile = manager->transcribe(writeStereoWav(folder / "speech.wav"), fileState);
    TdtDecoderState samplesState = TdtDecoderState::make(decoderLayers(version));
    const ASRResult fromSamples = manager->transcribe(tone(24000, 16000), samplesState);

    {
        SCOPED_TRACE("44.1 kHz stereo file");
        expectTranscript(fromFile, testCase);
        EXPECT_NEAR(fromFile.duration, 1.0, 0.01);
    }
    {
        SCOPED_TRACE("16 kHz samples");
        expectTranscript(fromSamples, testCase);
        EXPECT_DOUBLE_EQ(fromSamples.duration, 1.5);
    }
    // The set's models run where they were loaded to run.
    const ScriptedKernel& frontEnd = hasFusedEncoder(version) ? scripted.fusedPreprocessor : scripted.preprocessor;
    const std::set<ComputeUnits> configured{ComputeUnits::cpuAndNeuralEngine};
    EXPECT_EQ(unitsPredictedWith(frontEnd), std::set<ComputeUnits>{testCase.preprocessorUnits});
    EXPECT_EQ(unitsPredictedWith(scripted.encoder), hasFusedEncoder(version) ? std::set<ComputeUnits>{} : configured);
    EXPECT_EQ(unitsPredictedWith(scripted.decoder), configured);
    EXPECT_EQ(unitsPredictedWith(scripted.joint), configured);
}

INSTANTIATE_TEST_SUITE_P(EveryModelVersion, AsrEndToEndTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<EndToEndCase>& info) {
                             return std::string(description(info.param.version));
                         });

} // namespace
} // namespace quorl
