#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/asr/biasing/ParakeetLanguageModels.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"
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
using testsupport::errorText;

const ParakeetLanguageModelConfig twoEncoders{.blankId = 1024,
                                              .repo = Repo::parakeetV2,
                                              .displayName = "Test TDT",
                                              .logCategory = "TestTDT",
                                              .preprocessorFile = "Preprocessor.mlmodelc",
                                              .encoderFile = "Encoder.mlmodelc",
                                              .decoderFile = "Decoder.mlmodelc",
                                              .vocabularyFile = "parakeet_vocab.json",
                                              .jointFile = "JointDecision.mlmodelc",
                                              .hasBothEncoders = true,
                                              .fp32EncoderFile = "EncoderFp32.mlmodelc"};

ParakeetLanguageModelConfig changed(ParakeetLanguageModelConfig family,
                                    const std::function<void(ParakeetLanguageModelConfig&)>& change) {
    change(family);
    return family;
}

const std::vector<std::string> allBundles{"Preprocessor.mlmodelc", "Encoder.mlmodelc", "EncoderFp32.mlmodelc",
                                          "Decoder.mlmodelc", "JointDecision.mlmodelc"};

class ParakeetLanguageModelsTest : public testing::ModelHubTest {
protected:
    static fs::path setFolder() { return modelsRoot() / folderName(Repo::parakeetV2); }

    void serve() {
        for (const auto& name : allBundles) {
            putBundle(Repo::parakeetV2, name, kernel.name());
        }
        hub.putFile(remotePath(Repo::parakeetV2), "parakeet_vocab.json", R"(["<unk>", "\u2581a"])");
    }

    void cache(const std::vector<std::string>& bundles, const std::optional<std::string>& vocabulary) {
        for (const auto& name : bundles) {
            cacheBundle(setFolder(), name, kernel.name());
        }
        if (vocabulary) {
            writeFile(setFolder() / "parakeet_vocab.json", *vocabulary);
        }
    }

    std::vector<std::string> loadedBundles() const {
        std::vector<std::string> names;
        for (const auto& load : kernel.loads()) {
            names.push_back(load.bundlePath.filename().string());
        }
        return names;
    }

    bool loaded(const std::string& bundle) const { return std::ranges::count(loadedBundles(), bundle) > 0; }

    std::vector<std::string> loaderLines() const { return testing::logLines(sink, "TestTDT"); }

    bool logged(const std::string& line) const { return std::ranges::count(loaderLines(), line) == 1; }

    testsupport::ScriptedKernel kernel{"parakeet-language-models"};
};

TEST_F(ParakeetLanguageModelsTest, DefaultsNameTheRepositoryFolderAndTheNeuralEngine) {
    EXPECT_EQ(ParakeetLanguageModels::defaultCacheDirectory(twoEncoders), setFolder());
    EXPECT_EQ(ParakeetLanguageModels::setFolder(modelsRoot() / "elsewhere", twoEncoders), setFolder());
    EXPECT_EQ(ParakeetLanguageModels::setFolder(setFolder(), twoEncoders), setFolder());
    const auto configuration = ParakeetLanguageModels::defaultConfiguration();
    EXPECT_EQ(configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(configuration.allowLowPrecisionAccumulationOnGPU);
}

TEST_F(ParakeetLanguageModelsTest, DownloadsAndLoadsTheSetThroughTheHub) {
    serve();

    const auto set =
        ParakeetLanguageModels::downloadAndLoad(std::nullopt, twoEncoders, {.progressHandler = recordProgress()});

    ASSERT_TRUE(set.preprocessor && set.encoder && set.decoder && set.joint);
    EXPECT_EQ(set.blankId, 1024);
    EXPECT_EQ(set.configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(set.vocabulary, (ParakeetLanguageModels::Vocabulary{{0, "<unk>"}, {1, "\u2581a"}}));
    EXPECT_TRUE(ParakeetLanguageModels::modelsExist(setFolder(), twoEncoders));
    EXPECT_FALSE(loaded("EncoderFp32.mlmodelc"));
    EXPECT_FALSE(reports().empty());
    const std::string folder = setFolder().string();
    EXPECT_EQ(loaderLines(),
              (std::vector<std::string>{
                  "Preparing Test TDT models at: " + folder, "Successfully downloaded Test TDT models",
                  "Loading Test TDT models from: " + folder, "Loaded preprocessor, encoder (int8), decoder, and joint",
                  "Loaded Test TDT vocabulary with 2 tokens from " + folder + "/parakeet_vocab.json",
                  "Successfully loaded Test TDT models with 2 tokens"}));
}

TEST_F(ParakeetLanguageModelsTest, TheEncoderIsChosenByPrecision) {
    serve();
    struct Case {
        const char* name;
        ParakeetLanguageModelConfig family;
        bool useInt8Encoder;
        std::string encoder;
        std::string tag;
    };
    const std::vector<Case> cases{
        {"int8 of two", twoEncoders, true, "Encoder.mlmodelc", "int8"},
        {"fp32 of two", twoEncoders, false, "EncoderFp32.mlmodelc", "fp32"},
        {"fp32 asked but not offered", changed(twoEncoders, [](auto& f) { f.fp32EncoderFile.reset(); }), false,
         "Encoder.mlmodelc", "fp32"},
        {"one encoder", changed(twoEncoders, [](auto& f) { f.hasBothEncoders = false; }), false, "Encoder.mlmodelc",
         "default"},
    };
    for (const auto& test : cases) {
        testsupport::ScriptedKernel own{"parakeet-language-models"};
        testsupport::RecordingLogSink lines;
        const auto set =
            ParakeetLanguageModels::load(setFolder(), test.family, {.useInt8Encoder = test.useInt8Encoder});
        ASSERT_TRUE(set.encoder) << test.name;
        EXPECT_EQ(std::ranges::count(testing::logLines(lines, "TestTDT"),
                                     "Loaded preprocessor, encoder (" + test.tag + "), decoder, and joint"),
                  1)
            << test.name;
        std::vector<std::string> encoders;
        for (const auto& load : own.loads()) {
            if (load.bundlePath.filename().string().starts_with("Encoder")) {
                encoders.push_back(load.bundlePath.filename().string());
            }
        }
        EXPECT_EQ(encoders, std::vector<std::string>{test.encoder}) << test.name;
    }
}

TEST_F(ParakeetLanguageModelsTest, DownloadingBothEncodersFetchesTheOtherOneToo) {
    serve();

    ParakeetLanguageModels::download(twoEncoders, {.useInt8Encoder = false, .downloadBothEncoders = true});

    EXPECT_TRUE(loaded("EncoderFp32.mlmodelc"));
    EXPECT_TRUE(loaded("Encoder.mlmodelc"));
}

TEST_F(ParakeetLanguageModelsTest, APresentSetIsNotFetchedUnlessForced) {
    serve();
    cache(allBundles, R"(["x"])");
    writeFile(setFolder() / "stale.bin", "old");

    EXPECT_EQ(ParakeetLanguageModels::download(twoEncoders, {}), setFolder());
    EXPECT_TRUE(logged("Test TDT models already present at: " + setFolder().string()));
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(kernel.loads().empty());

    EXPECT_EQ(ParakeetLanguageModels::download(twoEncoders, {.force = true}), setFolder());
    EXPECT_FALSE(fs::exists(setFolder() / "stale.bin"));
    EXPECT_FALSE(hub.requests().empty());
    EXPECT_TRUE(ParakeetLanguageModels::modelsExist(setFolder(), twoEncoders));
}

TEST_F(ParakeetLanguageModelsTest, PresenceNeedsEveryBundleAndTheVocabulary) {
    const auto oneEncoder = changed(twoEncoders, [](auto& f) { f.hasBothEncoders = false; });
    const auto noJoint = changed(twoEncoders, [](auto& f) { f.jointFile.reset(); });
    struct Case {
        const char* name;
        std::vector<std::string> bundles;
        bool withVocabulary;
        ParakeetLanguageModelConfig family;
        bool exists;
    };
    const std::vector<Case> cases{
        {"everything", allBundles, true, twoEncoders, true},
        {"only the full-precision encoder",
         {"Preprocessor.mlmodelc", "EncoderFp32.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"},
         true,
         twoEncoders,
         true},
        {"no encoder",
         {"Preprocessor.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"},
         true,
         twoEncoders,
         false},
        {"the single encoder must be the int8 one",
         {"Preprocessor.mlmodelc", "EncoderFp32.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"},
         true,
         oneEncoder,
         false},
        {"no joint", {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc"}, true, twoEncoders, false},
        {"no joint needed", {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc"}, true, noJoint, true},
        {"no vocabulary", allBundles, false, twoEncoders, false},
    };
    for (const auto& test : cases) {
        fs::remove_all(setFolder());
        cache(test.bundles, test.withVocabulary ? std::optional<std::string>("[]") : std::nullopt);
        EXPECT_EQ(ParakeetLanguageModels::modelsExist(setFolder(), test.family), test.exists) << test.name;
    }
}

TEST_F(ParakeetLanguageModelsTest, ASetWithoutAJointLoadsNone) {
    const auto noJoint = changed(twoEncoders, [](auto& f) { f.jointFile.reset(); });
    cache({"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"}, "[]");

    const auto set = ParakeetLanguageModels::load(setFolder(), noJoint, {});

    EXPECT_FALSE(set.joint);
    EXPECT_FALSE(loaded("JointDecision.mlmodelc"));
    EXPECT_TRUE(logged("Loaded preprocessor, encoder (int8), decoder"));
    EXPECT_TRUE(set.vocabulary.empty());
}

TEST_F(ParakeetLanguageModelsTest, TheVocabularyIsAnArrayOrAnObjectOfPieces) {
    cache(allBundles, std::nullopt);
    const std::string parseFailure =
        "Failed to load ASR models: Failed to parse vocab.json - expected array or dictionary format";
    struct Case {
        const char* document;
        ParakeetLanguageModels::Vocabulary vocabulary;
        std::string error;
    };
    const std::vector<Case> cases{
        {R"(["a", "b"])", {{0, "a"}, {1, "b"}}, ""},
        {R"({"5": "a", "y": "b", "+7": "c", "99999999999": "d"})", {{5, "a"}, {7, "c"}}, ""},
        {"42", {}, parseFailure},
        {R"(["a", 1])", {}, parseFailure},
        {R"({"1": "a", "2": null})", {}, parseFailure},
        {"not json", {}, parseFailure},
    };
    for (const auto& test : cases) {
        writeFile(setFolder() / "parakeet_vocab.json", test.document);
        if (test.error.empty()) {
            EXPECT_EQ(ParakeetLanguageModels::load(setFolder(), twoEncoders, {}).vocabulary, test.vocabulary)
                << test.document;
        } else {
            EXPECT_EQ(errorText([&] { ParakeetLanguageModels::load(setFolder(), twoEncoders, {}); }), test.error)
                << test.document;
        }
    }
    fs::remove(setFolder() / "parakeet_vocab.json");
    EXPECT_EQ(errorText([&] { ParakeetLanguageModels::load(setFolder(), twoEncoders, {}); }),
              "ASR model 'vocab.json' not found at: " + (setFolder() / "parakeet_vocab.json").string());
}

} // namespace
} // namespace quorl
