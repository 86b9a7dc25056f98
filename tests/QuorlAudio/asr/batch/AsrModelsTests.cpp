#include "AsrModelsTest.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::errorText;

TEST(AsrModelsPresetTests, DefaultsToTheNeuralEngineAndTakesTheCpuAloneWhenCIIsPresent) {
    testsupport::ScopedEnvironment environment;
    environment.set("CI", std::nullopt);

    const auto standard = AsrModels::defaultConfiguration();
    EXPECT_EQ(standard.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(standard.allowLowPrecisionAccumulationOnGPU);
    const auto optimized = AsrModels::optimizedConfiguration(true);
    EXPECT_EQ(optimized.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(optimized.allowLowPrecisionAccumulationOnGPU);

    environment.set("CI", "");
    const auto onBuildMachine = AsrModels::optimizedConfiguration(false);
    EXPECT_EQ(onBuildMachine.computeUnits, ComputeUnits::cpuOnly);
    EXPECT_FALSE(onBuildMachine.allowLowPrecisionAccumulationOnGPU);
    EXPECT_TRUE(AsrModels::optimizedPredictionOptions().outputBackings.empty());
}

TEST(AsrModelVersionTests, EachVersionHasItsNumbersAndFiles) {
    const struct {
        AsrModelVersion version;
        int blankId;
        int decoderLayers;
        int encoderHiddenSize;
        std::vector<std::string> files; // preprocessor, the int4 encoder if any, decoder, joint, vocabulary
    } cases[] = {
        {AsrModelVersion::v2,
         1024,
         2,
         1024,
         {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc",
          "parakeet_vocab.json"}},
        {AsrModelVersion::v3,
         8192,
         2,
         1024,
         {"Preprocessor.mlmodelc", "EncoderInt4.mlmodelc", "Decoder.mlmodelc", "JointDecisionv3.mlmodelc",
          "parakeet_vocab.json"}},
        {AsrModelVersion::tdtCtc110m,
         1024,
         1,
         512,
         {"Preprocessor.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc", "parakeet_vocab.json"}},
        {AsrModelVersion::tdtJa,
         3072,
         2,
         1024,
         {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoderv2.mlmodelc", "Jointerv2.mlmodelc", "vocab.json"}},
    };
    for (const auto& c : cases) {
        const std::string name(description(c.version));
        EXPECT_EQ(blankId(c.version), c.blankId) << name;
        EXPECT_EQ(decoderLayers(c.version), c.decoderLayers) << name;
        EXPECT_EQ(encoderHiddenSize(c.version), c.encoderHiddenSize) << name;
        EXPECT_EQ(hasFusedEncoder(c.version), c.version == AsrModelVersion::tdtCtc110m) << name;
        std::vector<std::string> files{preprocessorFileName(c.version)};
        if (const auto encoder = encoderFileName(c.version, ParakeetEncoderPrecision::int4)) {
            files.push_back(*encoder);
        }
        files.insert(files.end(),
                     {decoderFileName(c.version), jointFileName(c.version), vocabularyFileName(c.version)});
        EXPECT_EQ(files, c.files) << name;
        EXPECT_EQ(modelVariant(c.version, ParakeetEncoderPrecision::int4),
                  c.version == AsrModelVersion::v3 ? std::optional<std::string>("int4") : std::nullopt)
            << name;
    }
    EXPECT_EQ(encoderFileName(AsrModelVersion::v3, ParakeetEncoderPrecision::int8), "Encoder.mlmodelc");
    EXPECT_EQ(AsrModels::requiredModelNames(), ModelNames::ASR::requiredModels());
}

TEST(AsrModelVersionTests, TheModelFolderLiesBesideTheGivenDirectory) {
    const fs::path models = "/data/QuorlAudio/Models";
    for (const fs::path& given : {models / "parakeet-tdt-0.6b-v3", models / "mine", models / "mine/"}) {
        EXPECT_EQ(modelFolder(AsrModelVersion::v3, given), models / "parakeet-tdt-0.6b-v3") << given;
        EXPECT_EQ(modelFolder(AsrModelVersion::tdtJa, given), models / "parakeet-ja") << given;
    }
}

using AsrModelsSetTest = testing::AsrModelsTest;

TEST_F(AsrModelsSetTest, TheDefaultCacheDirectoryIsTheRepositoryFolderUnderApplicationSupport) {
    EXPECT_EQ(AsrModels::defaultCacheDirectory(AsrModelVersion::v3),
              folder / "data" / "QuorlAudio" / "Models" / "parakeet-tdt-0.6b-v3");
    EXPECT_EQ(AsrModels::defaultCacheDirectory(AsrModelVersion::tdtCtc110m),
              folder / "data" / "QuorlAudio" / "Models" / "parakeet-tdt-ctc-110m");
}

TEST_F(AsrModelsSetTest, ReadsArraysAndObjectsAndRefusesOtherShapes) {
    using Vocabulary = std::unordered_map<int, std::string>;
    const std::string formatError = "Failed to load ASR models: Vocabulary file has unexpected format";
    const std::string parsingError = "Failed to load ASR models: Vocabulary parsing failed";
    const struct {
        std::string text;
        Vocabulary vocabulary;
        std::string error; // empty when the file reads
        bool errorLogged;
    } cases[] = {
        {R"(["\u2581a", "b"])", {{0, "\u2581a"}, {1, "b"}}, "", false},
        {R"({"0": "a", "x": "b", "-1": "c"})", {{0, "a"}, {-1, "c"}}, "", false},
        {R"({"+7": "p", "": "e", "1.0": "f", "2 ": "g", "-": "h", "99999999999": "i"})", {{7, "p"}}, "", false},
        {"[]", {}, "", false},
        {"[1, 2]", {}, formatError, false},
        {R"({"0": "a", "1": null})", {}, formatError, false},
        {R"(["a")", {}, parsingError, true},
        {R"("a")", {}, parsingError, true},
        {"", {}, parsingError, true},
    };
    cacheVersion(AsrModelVersion::v2);
    const fs::path path = folderOf(AsrModelVersion::v2) / "parakeet_vocab.json";
    for (const auto& c : cases) {
        writeFile(path, c.text);
        const auto failurePrefix = "Failed to load or parse vocabulary file at " + path.string() + ": ";
        if (c.error.empty()) {
            const auto models = AsrModels::load(
                modelsRoot() / "v2",
                {.version = AsrModelVersion::v2, .encoderPrecision = ParakeetEncoderPrecision::int8}, {});
            EXPECT_EQ(models.vocabulary, c.vocabulary) << c.text;
            EXPECT_EQ(modelSetLines().back(), "Successfully loaded all ASR models with optimized compute units");
            EXPECT_EQ(modelSetLines().end()[-2], "Loaded vocabulary with " + std::to_string(c.vocabulary.size()) +
                                                     " tokens from " + path.string());
            continue;
        }
        EXPECT_EQ(errorText([&] {
                      AsrModels::load(
                          modelsRoot() / "v2",
                          {.version = AsrModelVersion::v2, .encoderPrecision = ParakeetEncoderPrecision::int8}, {});
                  }),
                  c.error)
            << c.text;
        EXPECT_EQ(modelSetLines().back().starts_with(failurePrefix), c.errorLogged) << c.text;
    }
}

TEST_F(AsrModelsSetTest, AMissingOrUnreadableFileIsNamed) {
    for (const auto version : {AsrModelVersion::v3, AsrModelVersion::tdtJa}) {
        cacheVersion(version, ParakeetEncoderPrecision::int8, false);
        const fs::path path = folderOf(version) / vocabularyFileName(version);
        const auto load = [&] {
            AsrModels::load(folderOf(version), {.version = version, .encoderPrecision = ParakeetEncoderPrecision::int8},
                            {});
        };

        try {
            load();
            ADD_FAILURE() << "expected the missing vocabulary";
        } catch (const AsrModelsError& error) {
            EXPECT_EQ(error.kind(), AsrModelsError::Kind::modelNotFound);
            EXPECT_EQ(std::string(error.what()),
                      "ASR model '" + vocabularyFileName(version) + "' not found at: " + path.string());
        }
        EXPECT_EQ(modelSetLines().back(), "Vocabulary file not found at " + path.string() +
                                              ". Please ensure the vocab file is downloaded with the models.");

        fs::create_directories(path);
        EXPECT_EQ(errorText(load), "Failed to load ASR models: Vocabulary parsing failed");
    }
}

} // namespace
} // namespace quorl
