#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/asr/biasing/CtcModels.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::errorText;

constexpr const char* vocabularyText = R"({"0": "<unk>", "1": "\u2581a", "+2": "b", "x": "c"})";
constexpr const char* tokenizerText = R"({"model": {"type": "BPE", "vocab": {"<unk>": 0, "\u2581": 3, "a": 4,
    "\u2581a": 1, "b": 2}, "merges": ["\u2581 a"]}})";

class CtcModelsTest : public testing::ModelHubTest {
protected:
    static fs::path folderOf(CtcModelVariant variant) { return modelsRoot() / folderName(quorl::repo(variant)); }

    void serve(CtcModelVariant variant, const std::string& vocabulary = vocabularyText) {
        for (const auto* name : {"MelSpectrogram.mlmodelc", "AudioEncoder.mlmodelc"}) {
            putBundle(quorl::repo(variant), name, kernel.name());
        }
        hub.putFile(remotePath(quorl::repo(variant)), "vocab.json", vocabulary);
        hub.putFile(remotePath(quorl::repo(variant)), "tokenizer.json", tokenizerText);
    }

    void cache(CtcModelVariant variant, bool withVocabulary = true) {
        for (const auto* name : {"MelSpectrogram.mlmodelc", "AudioEncoder.mlmodelc"}) {
            cacheBundle(folderOf(variant), name, kernel.name());
        }
        if (withVocabulary) {
            writeFile(folderOf(variant) / "vocab.json", vocabularyText);
        }
    }

    std::vector<std::string> modelSetLines() const { return testing::logLines(sink, "CtcModels"); }

    bool logged(const std::string& line) const { return std::ranges::count(modelSetLines(), line) == 1; }

    testsupport::ScriptedKernel kernel{"ctc-models"};
};

TEST_F(CtcModelsTest, VariantsNameTheirRepositories) {
    EXPECT_EQ(platform::core::fromRawValue<CtcModelVariant>("ctc110m"), CtcModelVariant::ctc110m);
    EXPECT_EQ(platform::core::fromRawValue<CtcModelVariant>("ctc06b"), CtcModelVariant::ctc06b);
    for (const std::string other : {"CTC110M", "ctc", ""}) {
        EXPECT_EQ(platform::core::fromRawValue<CtcModelVariant>(other), std::nullopt) << other;
    }
    const auto all = platform::core::allCases<CtcModelVariant>();
    EXPECT_EQ(std::vector(all.begin(), all.end()),
              (std::vector<CtcModelVariant>{CtcModelVariant::ctc110m, CtcModelVariant::ctc06b}));
    EXPECT_EQ(rawValue(CtcModelVariant::ctc06b), "ctc06b");
    EXPECT_EQ(displayName(CtcModelVariant::ctc110m), "Parakeet CTC 110M (hybrid)");
    EXPECT_EQ(displayName(CtcModelVariant::ctc06b), "Parakeet CTC 0.6B (pure)");
    EXPECT_EQ(rawValue(quorl::repo(CtcModelVariant::ctc110m)), "ZirazEvavirivi/parakeet-ctc-110m-coreml");
    EXPECT_EQ(rawValue(quorl::repo(CtcModelVariant::ctc06b)), "ZirazEvavirivi/parakeet-ctc-0.6b-coreml");
    EXPECT_EQ(CtcModels::defaultCacheDirectory(CtcModelVariant::ctc06b), modelsRoot() / "parakeet-ctc-0.6b-coreml");
    const auto configuration = CtcModels::defaultConfiguration();
    EXPECT_EQ(configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(configuration.allowLowPrecisionAccumulationOnGPU);
}

TEST_F(CtcModelsTest, DownloadsFromTheHubAndLoadsWithTheVocabulary) {
    serve(CtcModelVariant::ctc06b);
    const fs::path folder = folderOf(CtcModelVariant::ctc06b);

    const auto models = CtcModels::downloadAndLoad(std::nullopt, CtcModelVariant::ctc06b);

    EXPECT_TRUE(CtcModels::modelsExist(folder));
    EXPECT_TRUE(fs::exists(folder / "tokenizer.json"));
    ASSERT_TRUE(models.melSpectrogram && models.encoder);
    EXPECT_NE(models.melSpectrogram, models.encoder);
    EXPECT_EQ(models.variant, CtcModelVariant::ctc06b);
    EXPECT_EQ(models.configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(models.vocabulary, (CtcModels::Vocabulary{{0, "<unk>"}, {1, "\u2581a"}, {2, "b"}}));
    for (const auto& load : kernel.loads()) {
        EXPECT_EQ(load.configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
        EXPECT_EQ(load.bundlePath.parent_path(), folder);
    }
    EXPECT_EQ(modelSetLines().front(), "Preparing CTC models (Parakeet CTC 0.6B (pure)) at: " + folder.string());
    EXPECT_TRUE(logged("Successfully downloaded CTC models (Parakeet CTC 0.6B (pure))"));
    EXPECT_TRUE(logged("Loading CTC models (Parakeet CTC 0.6B (pure)) from: " + folder.string()));
    EXPECT_TRUE(logged("Loaded CTC vocabulary with 3 tokens from " + (folder / "vocab.json").string()));
    EXPECT_EQ(modelSetLines().back(), "Successfully loaded CTC models (Parakeet CTC 0.6B (pure)) and vocabulary");
}

TEST_F(CtcModelsTest, APresentSetIsNeitherFetchedNorLoaded) {
    cache(CtcModelVariant::ctc110m);
    const fs::path folder = folderOf(CtcModelVariant::ctc110m);

    EXPECT_EQ(CtcModels::download({.variant = CtcModelVariant::ctc110m}), folder);

    EXPECT_TRUE(logged("CTC models already present at: " + folder.string()));
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(kernel.loads().empty());
}

TEST_F(CtcModelsTest, ATargetNamedOtherwiseUsesTheRepositoryFolderBesideItThroughout) {
    serve(CtcModelVariant::ctc110m);
    const fs::path given = modelsRoot() / "mine";
    const fs::path folder = folderOf(CtcModelVariant::ctc110m);

    EXPECT_EQ(CtcModels::download({.to = given, .variant = CtcModelVariant::ctc110m}), folder);
    EXPECT_TRUE(CtcModels::modelsExist(folder));
    EXPECT_FALSE(fs::exists(given));

    const auto models = CtcModels::downloadAndLoad(given, CtcModelVariant::ctc110m);
    EXPECT_EQ(models.vocabulary.size(), 3u);
    EXPECT_TRUE(logged("CTC models already present at: " + folder.string()));
    EXPECT_EQ(CtcModels::load(given, CtcModelVariant::ctc110m).vocabulary, models.vocabulary);
}

TEST_F(CtcModelsTest, ForceReplacesTheSetFolder) {
    serve(CtcModelVariant::ctc110m);
    const fs::path folder = folderOf(CtcModelVariant::ctc110m);
    // Forcing with nothing there yet simply fetches.
    CtcModels::download({.variant = CtcModelVariant::ctc110m, .force = true});
    EXPECT_TRUE(CtcModels::modelsExist(folder));
    writeFile(folder / "stale.bin", "old");
    const auto before = hub.requests().size();

    EXPECT_EQ(CtcModels::download({.variant = CtcModelVariant::ctc110m, .force = true}), folder);

    EXPECT_FALSE(fs::exists(folder / "stale.bin"));
    EXPECT_TRUE(CtcModels::modelsExist(folder));
    EXPECT_GT(hub.requests().size(), before);
}

TEST_F(CtcModelsTest, AMissingVocabularyFailsEveryLoad) {
    cache(CtcModelVariant::ctc110m, false);
    const fs::path folder = folderOf(CtcModelVariant::ctc110m);
    EXPECT_FALSE(CtcModels::modelsExist(folder));

    // The hub finds both models and fetches nothing, so the vocabulary stays missing.
    EXPECT_EQ(CtcModels::download({.variant = CtcModelVariant::ctc110m}), folder);
    EXPECT_TRUE(hub.requests().empty());
    const std::string missing = "ASR model 'vocab.json' not found at: " + (folder / "vocab.json").string();
    EXPECT_EQ(errorText([&] { CtcModels::load(folder, CtcModelVariant::ctc110m); }), missing);
    EXPECT_EQ(errorText([&] { CtcModels::loadDirect(folder, CtcModelVariant::ctc110m); }), missing);
}

TEST_F(CtcModelsTest, VocabularyPiecesThatAreNotTextAreSkippedAndAnEmptyVocabularyFails) {
    cache(CtcModelVariant::ctc110m, false);
    const fs::path folder = folderOf(CtcModelVariant::ctc110m);
    writeFile(folder / "vocab.json", R"({"0": "a", "1": 5, "2": null, "z": 1})");

    EXPECT_EQ(CtcModels::loadDirect(folder, CtcModelVariant::ctc110m).vocabulary, (CtcModels::Vocabulary{{0, "a"}}));
    EXPECT_EQ(sink.messages("CtcModels", LogType::error),
              (std::vector<std::string>{"Skipping CTC vocabulary entry '1': its piece is not a string",
                                        "Skipping CTC vocabulary entry '2': its piece is not a string"}));

    const std::string empty =
        "Failed to load ASR models: CTC vocabulary at " + (folder / "vocab.json").string() + " holds no token pieces";
    for (const std::string document : {R"({"1": 5})", R"({})", R"(["a", "b"])", R"({"x": "a"})"}) {
        writeFile(folder / "vocab.json", document);
        EXPECT_EQ(errorText([&] { CtcModels::loadDirect(folder, CtcModelVariant::ctc110m); }), empty) << document;
    }
    writeFile(folder / "vocab.json", "{broken");
    EXPECT_THROW(CtcModels::loadDirect(folder, CtcModelVariant::ctc110m), nlohmann::json::parse_error);
}

TEST_F(CtcModelsTest, DirectLoadingReadsTheFolderAsItIs) {
    const fs::path own = folder / "own";
    cacheBundle(own, "MelSpectrogram.mlmodelc", kernel.name());
    writeFile(own / "vocab.json", vocabularyText);

    EXPECT_EQ(errorText([&] { CtcModels::loadDirect(own, CtcModelVariant::ctc06b); }),
              "ASR model 'AudioEncoder' not found at: " + (own / "AudioEncoder.mlmodelc").string());
    EXPECT_EQ(kernel.loads().size(), 1u);

    cacheBundle(own, "AudioEncoder.mlmodelc", kernel.name());
    const auto models = CtcModels::loadDirect(own, CtcModelVariant::ctc06b);
    EXPECT_EQ(models.variant, CtcModelVariant::ctc06b);
    EXPECT_TRUE(logged("Loaded AudioEncoder directly from: " + (own / "AudioEncoder.mlmodelc").string()));
    EXPECT_TRUE(logged("CTC models loaded with computeUnits: cpuAndNeuralEngine"));
    EXPECT_EQ(modelSetLines().back(), "Successfully loaded CTC models directly (3 vocab tokens)");
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(CtcModelsTest, ABundleThatDoesNotLoadIsCompiledAndTheCompilerErrorPassesThrough) {
    const fs::path own = folder / "own";
    cacheBundle(own, "MelSpectrogram.mlmodelc", kernel.name());
    kernel.failLoadsWith(std::make_exception_ptr(std::runtime_error("broken bundle")));

    EXPECT_THROW(CtcModels::loadDirect(own, CtcModelVariant::ctc110m), platform::ml::ModelError);
    EXPECT_TRUE(logged("Direct load failed, attempting compilation..."));
}

TEST_F(CtcModelsTest, VocabularyTermsGetTheirCtcTokens) {
    serve(CtcModelVariant::ctc110m);
    writeFile(folder / "terms.txt", "A\nab: x\n");
    writeFile(folder / "terms.json", R"({"terms": [{"text": "A b", "tokenIds": [9, 9]}], "alpha": 0.9})");

    const auto variant = CtcModelVariant::ctc110m;
    const auto plain = CustomVocabularyContext::loadWithCtcTokens((folder / "terms.txt").string(), variant);
    const auto json = CustomVocabularyContext::loadWithCtcTokens((folder / "terms.json").string(), variant);

    ASSERT_EQ(plain.vocab.terms.size(), 2u);
    EXPECT_EQ(plain.vocab.terms[0].ctcTokenIds(), (std::vector<std::int64_t>{1}));
    EXPECT_EQ(plain.vocab.terms[1].ctcTokenIds(), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(plain.vocab.terms[1].aliases(), (std::optional<std::vector<std::string>>{{"x"}}));
    EXPECT_EQ(plain.vocab.terms[1].weight(), 10.0f);
    EXPECT_EQ(json.vocab.terms[0].ctcTokenIds(), (std::vector<std::int64_t>{1, 3, 2}));
    EXPECT_EQ(json.vocab.terms[0].tokenIds(), std::nullopt);
    EXPECT_EQ(json.vocab.terms[0].textLowercased(), "a b");
    EXPECT_EQ(json.vocab.alpha, 0.9f);
    EXPECT_EQ(json.models.vocabulary.size(), 3u);
    EXPECT_EQ(json.models.variant, CtcModelVariant::ctc110m);
}

} // namespace
} // namespace quorl
