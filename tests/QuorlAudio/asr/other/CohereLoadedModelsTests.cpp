#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/asr/other/CohereLoadedModels.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "tests/QuorlAudio/asr/other/CohereTestModels.hpp"

#include "platform/ml/ModelError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::CohereTranscribe;
using platform::ml::ComputeUnits;
using platform::ml::DataType;

CohereLoadedModels::LoadRequest requestFor(const fs::path& folder, CohereDecoderVariant variant) {
    return {.encoderDir = folder,
            .decoderDir = folder,
            .vocabDir = folder,
            .decoderVariant = variant,
            .computeUnits = ComputeUnits::cpuAndGPU};
}

void writeVocabulary(const fs::path& folder, const std::string& document) {
    std::ofstream(folder / std::string(names::vocab)) << document;
}

TEST(CohereLoadedModelsTests, LoadsBothModelsWithTheComputeUnitsAndTheVocabulary) {
    CohereTestModels models(CohereTestModels::Settings{.vocabulary = {{5, "▁a"}, {13764, "<|wb|>"}}});
    testsupport::RecordingLogSink log;
    const auto& folder = models.folder();
    for (const auto variant : {CohereDecoderVariant::v2, CohereDecoderVariant::v1}) {
        const auto set = CohereLoadedModels::loadModels(requestFor(folder, variant));
        EXPECT_EQ(set.decoderVariant, variant);
        EXPECT_EQ(set.vocabulary, (TokenVocabulary{{5, "▁a"}, {13764, "<|wb|>"}}));
        EXPECT_EQ(set.encoder->configuration().computeUnits, ComputeUnits::cpuAndGPU);
        EXPECT_EQ(set.decoder->configuration().computeUnits, ComputeUnits::cpuAndGPU);
        EXPECT_TRUE(set.decoder->description().inputDescriptionsByName.contains("k_cache_7"));
    }
    const auto encoderPath = (folder / "cohere_encoder.mlmodelc").string();
    EXPECT_EQ(log.messages("CoherePipeline"),
              (std::vector<std::string>{
                  "Loading encoder from " + encoderPath,
                  "Loading decoder from " + (folder / "cohere_decoder_cache_external_v2.mlmodelc").string(),
                  "Loaded vocabulary with 2 tokens", "Loading encoder from " + encoderPath,
                  "Loading decoder from " + (folder / "cohere_decoder_cache_external.mlmodelc").string(),
                  "Loaded vocabulary with 2 tokens"}));
}

TEST(CohereLoadedModelsTests, MissingOrWrongDecoderIsNamed) {
    CohereTestModels models;
    const testsupport::TemporaryFolder onlyV1;
    testsupport::writeModelBundle(onlyV1.path(), std::string(names::encoderCompiledFile),
                                  CohereTestModels::encoderManifest(438));
    testsupport::writeModelBundle(onlyV1.path(), std::string(names::decoderCacheExternalCompiledFile),
                                  CohereTestModels::decoderManifest(CohereDecoderVariant::v1, 438, DataType::float16));
    writeVocabulary(onlyV1.path(), "{}");
    const auto v2Path = onlyV1.path() / "cohere_decoder_cache_external_v2.mlmodelc";
    try {
        CohereLoadedModels::loadModels(requestFor(onlyV1.path(), CohereDecoderVariant::v2));
        FAIL() << "nothing thrown";
    } catch (const CohereAsrError& error) {
        EXPECT_EQ(error.kind(), CohereAsrError::Kind::modelNotFound);
        EXPECT_EQ(std::string(error.what()),
                  "Model not found: Decoder not found at " + v2Path.string() + " (variant: v2).");
    }
    EXPECT_NO_THROW(CohereLoadedModels::loadModels(requestFor(onlyV1.path(), CohereDecoderVariant::v1)));

    // A decoder that keeps its caches inside is not the one this loop drives.
    auto stateful = CohereTestModels::decoderManifest(CohereDecoderVariant::v2, 438, DataType::float16);
    stateful["inputs"].erase(5);
    testsupport::writeModelBundle(onlyV1.path(), "cohere_decoder_cache_external_v2.mlmodelc", stateful);
    EXPECT_EQ(testsupport::errorText(
                  [&] { CohereLoadedModels::loadModels(requestFor(onlyV1.path(), CohereDecoderVariant::v2)); }),
              "Decoding failed: Decoder at " + v2Path.string() + " is not cache-external (missing k_cache_0).");
}

TEST(CohereLoadedModelsTests, MissingEncoderFailsWithTheRuntimeError) {
    CohereTestModels models;
    const testsupport::TemporaryFolder folder;
    testsupport::writeModelBundle(folder.path(), std::string(names::decoderCacheExternalV2CompiledFile),
                                  CohereTestModels::decoderManifest(CohereDecoderVariant::v2, 438, DataType::float16));
    writeVocabulary(folder.path(), "{}");
    EXPECT_THROW(CohereLoadedModels::loadModels(requestFor(folder.path(), CohereDecoderVariant::v2)),
                 platform::ml::ModelError);
}

TEST(CohereLoadedModelsTests, VocabularyKeysAreSignedDecimalIds) {
    const testsupport::TemporaryFolder folder;
    writeVocabulary(folder.path(), R"({"+12": "plus", "7": "seven", "-3": "minus", "8a": "letter", "": "empty",
                                       " 9": "space", "99999999999999999999": "huge"})");
    EXPECT_EQ(CohereLoadedModels::loadVocabulary(folder.path()),
              (TokenVocabulary{{12, "plus"}, {7, "seven"}, {-3, "minus"}}));
}

TEST(CohereLoadedModelsTests, VocabularyOfAnotherShapeIsRejected) {
    const testsupport::TemporaryFolder folder;
    for (const std::string document : {R"(["a", "b"])", R"({"1": 2})", R"("text")", R"({"1": ["a"]})"}) {
        writeVocabulary(folder.path(), document);
        EXPECT_EQ(testsupport::errorText([&] { CohereLoadedModels::loadVocabulary(folder.path()); }),
                  "Model not found: Invalid vocab.json format")
            << document;
    }
    writeVocabulary(folder.path(), "{not json");
    EXPECT_THROW(CohereLoadedModels::loadVocabulary(folder.path()), nlohmann::json::parse_error);
    fs::remove(folder.path() / "vocab.json");
    EXPECT_THROW(CohereLoadedModels::loadVocabulary(folder.path()), std::exception);
}

} // namespace
} // namespace quorl
