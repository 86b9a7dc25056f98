#include "tests/QuorlAudio/asr/other/ParaformerTestModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/other/ParaformerModels.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/ml/ComputeUnits.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::errorText;

class ParaformerModelsTests : public ::testing::Test {
protected:
    ParaformerModelsTests() { environment.set("XDG_DATA_HOME", dataHome.path().string()); }

    fs::path modelFolder() const { return dataHome.path() / "QuorlAudio" / "Models" / "paraformer-large-zh"; }

    void writeVocabulary(const std::string& document) const { std::ofstream(modelFolder() / "vocab.json") << document; }

    // The hub serves the repository; the toolkit is pointed at it.
    void serveRepository() {
        models.serve(hub);
        testsupport::useLoopbackHub(environment, hub);
    }

    std::size_t hubRequests() const { return hub.requests().size(); }

    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder dataHome;
    testsupport::RecordingLogSink log;
    testsupport::LoopbackHub hub;
    ParaformerTestModels models{{{3, "\u4f60"}, {4, "\u597d"}}};
};

TEST_F(ParaformerModelsTests, ModelsExistOnlyWithEveryCompiledFileOfThePrecision) {
    models.writeModelFolder(modelFolder());
    EXPECT_TRUE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::int8));
    EXPECT_TRUE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::fp16));

    fs::remove_all(modelFolder() / "ParaformerDecoder.mlmodelc");
    EXPECT_TRUE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::int8));
    EXPECT_FALSE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::fp16));

    // A package does not count.
    fs::rename(modelFolder() / "ParaformerEncoder_int8.mlmodelc", modelFolder() / "ParaformerEncoder_int8.mlpackage");
    EXPECT_FALSE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::int8));

    models.writeModelFolder(modelFolder());
    fs::remove(modelFolder() / "vocab.json");
    EXPECT_FALSE(ParaformerModels::modelsExist(modelFolder(), ParaformerPrecision::int8));
}

TEST_F(ParaformerModelsTests, ACompleteFolderIsNotFetchedAgain) {
    serveRepository();
    models.writeModelFolder(modelFolder());
    int reports = 0;
    EXPECT_EQ(ParaformerModels::download({.precision = ParaformerPrecision::int8},
                                         [&](const DownloadProgress&) { ++reports; }),
              modelFolder());
    EXPECT_EQ(hubRequests(), 0u);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(log.messages("ParaformerModels"),
              std::vector<std::string>{"Paraformer models already present at: " + modelFolder().string()});
}

TEST_F(ParaformerModelsTests, AFolderLackingThePrecisionOrForcedIsFetchedFromTheHub) {
    serveRepository();
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced" : "fp16 missing");
        fs::remove_all(dataHome.path() / "QuorlAudio");
        if (!force) {
            models.writeModelFolder(modelFolder());
            fs::remove_all(modelFolder() / "ParaformerEncoder.mlmodelc");
        }
        const auto requestsBefore = hubRequests();
        std::vector<double> fractions;
        const auto folder = ParaformerModels::download(
            {.precision = ParaformerPrecision::fp16, .force = force},
            [&](const DownloadProgress& report) { fractions.push_back(report.fractionCompleted); });
        EXPECT_EQ(folder, modelFolder());
        EXPECT_GT(hubRequests(), requestsBefore);
        EXPECT_TRUE(ParaformerModels::modelsExist(folder, ParaformerPrecision::fp16));
        EXPECT_TRUE(ParaformerModels::modelsExist(folder, ParaformerPrecision::int8));
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::ranges::all_of(fractions, [](double fraction) { return fraction >= 0 && fraction <= 0.5; }));
    }
    const auto lines = log.messages("ParaformerModels");
    EXPECT_EQ(std::ranges::count(lines, "Downloading Paraformer models from HuggingFace..."), 2);
    EXPECT_EQ(std::ranges::count(lines, "Successfully downloaded Paraformer models"), 2);
}

TEST_F(ParaformerModelsTests, LoadTakesThePrecisionsModelsWithTheirComputeUnitsAndTheVocabulary) {
    models.writeModelFolder(modelFolder());
    for (const auto precision : {ParaformerPrecision::int8, ParaformerPrecision::fp16}) {
        const auto loaded = ParaformerModels::load(modelFolder(), precision);
        const std::string suffix = precision == ParaformerPrecision::int8 ? "_int8" : "";
        EXPECT_EQ(models.encoder.loads().back().bundlePath.filename(), "ParaformerEncoder" + suffix + ".mlmodelc");
        EXPECT_EQ(models.decoder.loads().back().bundlePath.filename(), "ParaformerDecoder" + suffix + ".mlmodelc");
        EXPECT_EQ(models.preprocessor.loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
        for (const auto* kernel : {&models.encoder, &models.cifAlphas, &models.decoder}) {
            EXPECT_EQ(kernel->loads().back().configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
            EXPECT_FALSE(kernel->loads().back().configuration.allowLowPrecisionAccumulationOnGPU);
        }
        EXPECT_EQ(loaded.vocabulary, (TokenVocabulary{{3, "\u4f60"}, {4, "\u597d"}}));
    }
    EXPECT_EQ(log.messages("ParaformerModels"),
              (std::vector<std::string>{"Loaded Paraformer (encoder/decoder: int8, vocab: 2)",
                                        "Loaded Paraformer (encoder/decoder: fp16, vocab: 2)"}));
}

TEST_F(ParaformerModelsTests, APackageIsCompiledAtEveryLoadAndNoCompiledBundleStays) {
    models.writeModelFolder(modelFolder());
    fs::remove_all(modelFolder() / "ParaformerEncoder_int8.mlmodelc");
    testsupport::writeModelBundle(modelFolder(), "ParaformerEncoder_int8.mlpackage",
                                  models.manifests().at("ParaformerEncoder_int8"));
    const auto entriesBefore = std::distance(fs::directory_iterator(modelFolder()), fs::directory_iterator());
    for (int load = 0; load < 2; ++load) {
        EXPECT_NE(ParaformerModels::load(modelFolder(), ParaformerPrecision::int8).encoder, nullptr);
    }
    EXPECT_EQ(models.encoder.loads().size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(modelFolder()), fs::directory_iterator()), entriesBefore);
    EXPECT_FALSE(fs::exists(modelFolder() / "ParaformerEncoder_int8.mlmodelc"));
}

TEST_F(ParaformerModelsTests, AMissingModelOrVocabularyFailsTheLoad) {
    models.writeModelFolder(modelFolder());
    fs::remove_all(modelFolder() / "ParaformerCifAlphas.mlmodelc");
    EXPECT_EQ(errorText([&] { ParaformerModels::load(modelFolder(), ParaformerPrecision::int8); }),
              "ASR processing failed: Paraformer model not found: ParaformerCifAlphas");

    models.writeModelFolder(modelFolder());
    fs::remove(modelFolder() / "vocab.json");
    const auto decoderLoads = models.decoder.loads().size();
    EXPECT_THROW(ParaformerModels::load(modelFolder(), ParaformerPrecision::int8), fs::filesystem_error);
    // The vocabulary is read after the four models loaded.
    EXPECT_EQ(models.decoder.loads().size(), decoderLoads + 1);
}

TEST_F(ParaformerModelsTests, TheVocabularyIsAnArrayOrAnObjectOfStrings) {
    fs::create_directories(modelFolder());
    const struct {
        const char* document;
        TokenVocabulary expected;
    } accepted[] = {
        {R"(["<blank>", "<s>", "</s>", "a"])", {{0, "<blank>"}, {1, "<s>"}, {2, "</s>"}, {3, "a"}}},
        {R"({"0": "a", "x": "b", "5": "c"})", {{0, "a"}, {5, "c"}}},
        // Keys are met in sorted order, so "7" comes after "+7" and wins.
        {R"({"7": "a", "+7": "b", "-1": "c", "1.5": "d"})", {{7, "a"}, {-1, "c"}}},
        {"[]", {}},
    };
    for (const auto& c : accepted) {
        writeVocabulary(c.document);
        EXPECT_EQ(ParaformerModels::loadVocabulary(modelFolder()), c.expected) << c.document;
    }
    for (const char* refused : {R"({"0": 1})", R"(["a", 2])", R"("a")", "{not json", "", "null"}) {
        writeVocabulary(refused);
        EXPECT_EQ(errorText([&] { ParaformerModels::loadVocabulary(modelFolder()); }),
                  "ASR processing failed: Failed to parse vocab.json (expected array or dict)")
            << refused;
    }
}

} // namespace
} // namespace quorl
