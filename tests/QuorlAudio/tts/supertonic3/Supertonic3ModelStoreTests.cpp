#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ResourceDownloader.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::errorText;
using testsupport::LoopbackHub;
using Estimator = Supertonic3VectorEstimator;
using Lines = std::vector<std::string>;

constexpr const char* repository = "ZirazEvavirivi/supertonic-3-coreml";
constexpr const char* fullConfig =
    R"({"ae": {"sample_rate": 48000, "base_chunk_size": 256}, "ttl": {"chunk_compress_factor": 4, "latent_dim": 32}})";

class Supertonic3ModelStoreTest : public testing::HubTest {
protected:
    Supertonic3ModelStoreTest() { environment.set("HOME", (folder / "home").string()); }

    // The hub holds the set a download of `variant` asks for, every bundle run by the test's kernel.
    void serveSet(const std::optional<std::string>& variant, const std::string& config = fullConfig) {
        for (const auto& path : ModelNames::Supertonic3::requiredFiles(variant)) {
            if (path.ends_with(".mlmodelc")) {
                hub.putFile(repository, path + "/coremldata.bin", "compiled");
                hub.putFile(repository, path + "/model.json", testsupport::modelManifest(kernel.name(), {}, {}).dump());
            }
        }
        hub.putFile(repository, "tts.json", config);
        hub.putFile(repository, "unicode_indexer.json", "[0, 1, 2]");
    }

    Supertonic3ModelStore store(Estimator estimator, ComputeUnits units = ComputeUnits::cpuAndNeuralEngine) const {
        return {root, units, estimator};
    }

    // Where each load read its bundle, relative to the repository folder, and on which units.
    std::vector<std::pair<std::string, ComputeUnits>> loads() const {
        std::vector<std::pair<std::string, ComputeUnits>> result;
        for (const auto& load : kernel.loads()) {
            result.emplace_back(fs::relative(load.bundlePath, repoDir).string(), load.configuration.computeUnits);
        }
        return result;
    }

    std::size_t fileRequests() const {
        std::size_t count = 0;
        for (const auto& request : hub.requests()) {
            count += request.path.find("/resolve/main/") != std::string::npos ? 1 : 0;
        }
        return count;
    }

    Lines lines(const std::string& category, LogType type) const { return sink.messages(category, type); }

    testsupport::ScriptedKernel kernel{"supertonic3-test-kernel"};
    testsupport::RecordingLogSink sink;
    const fs::path root = folder / "Models";
    const fs::path repoDir = root / "supertonic-3";
};

using Loads = std::vector<std::pair<std::string, ComputeUnits>>;

TEST_F(Supertonic3ModelStoreTest, BucketModelsLoadWhenALengthFirstNeedsThem) {
    serveSet("ane-int4");
    auto bucketed = store(Estimator::defaultEstimator());
    bucketed.loadIfNeeded();
    EXPECT_EQ(loads(), (Loads{{"TextEncoder.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                              {"DurationPredictor.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                              {"Vocoder.mlmodelc", ComputeUnits::cpuAndNeuralEngine}}));

    const struct {
        std::int64_t length;
        std::int64_t bucket;
    } cases[] = {{1, 128}, {128, 128}, {129, 256}, {512, 512}};
    for (const auto& c : cases) {
        const auto chosen = bucketed.vectorEstimator(c.length);
        EXPECT_EQ(chosen.paddedLength, c.bucket) << c.length;
        EXPECT_NE(chosen.model, nullptr) << c.length;
    }
    EXPECT_EQ(bucketed.vectorEstimator(100).model, bucketed.vectorEstimator(1).model);
    const Loads all = loads();
    const Loads buckets(all.begin() + 3, all.end());
    EXPECT_EQ(
        buckets,
        (Loads{{"VectorEstimatorVariants/VectorEstimator_L128_int4.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
               {"VectorEstimatorVariants/VectorEstimator_L256_int4.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
               {"VectorEstimatorVariants/VectorEstimator_L512_int4.mlmodelc", ComputeUnits::cpuAndNeuralEngine}}));

    try {
        bucketed.vectorEstimator(513);
        FAIL() << "513 accepted";
    } catch (const Supertonic3Error& error) {
        EXPECT_EQ(error.kind(), Supertonic3Error::Kind::inferenceFailed);
        EXPECT_EQ(std::string(error.what()), "Supertonic3 vector_estimator inference failed: latent length 513 exceeds "
                                             "largest ANE bucket 512; use a dynamic VectorEstimator");
    }
}

TEST_F(Supertonic3ModelStoreTest, EstimatorsRunOnTheUnitsOfTheirKind) {
    const struct {
        std::string name;
        Estimator estimator;
        ComputeUnits storeUnits;
        std::string file;
        ComputeUnits estimatorUnits;
    } cases[] = {
        {"quantised dynamic", Estimator::dynamic(Supertonic3Quantization::int8), ComputeUnits::cpuAndNeuralEngine,
         "VectorEstimatorVariants/VectorEstimator_int8.mlmodelc", ComputeUnits::cpuAndGPU},
        {"quantised dynamic on the CPU", Estimator::dynamic(Supertonic3Quantization::int8), ComputeUnits::cpuOnly,
         "VectorEstimatorVariants/VectorEstimator_int8.mlmodelc", ComputeUnits::cpuOnly},
        {"half precision", Estimator::fp16Dynamic(), ComputeUnits::all, "VectorEstimator.mlmodelc", ComputeUnits::all},
        {"bucket on the CPU", Estimator::aneBucketed(Supertonic3Quantization::int6), ComputeUnits::cpuOnly,
         "VectorEstimatorVariants/VectorEstimator_L128_int6.mlmodelc", ComputeUnits::cpuOnly},
    };
    for (const auto& c : cases) {
        serveSet(c.estimator.downloadVariant());
        const auto before = kernel.loads().size();
        auto subject = store(c.estimator, c.storeUnits);
        subject.loadIfNeeded();
        subject.vectorEstimator(4);
        const auto all = loads();
        ASSERT_EQ(all.size(), before + 4) << c.name;
        EXPECT_EQ(all.back(), std::pair(c.file, c.estimatorUnits)) << c.name;
        EXPECT_EQ(all[before].second, c.storeUnits) << c.name;
    }
}

TEST_F(Supertonic3ModelStoreTest, SingleEstimatorsServeAnyLengthAsItIs) {
    serveSet(std::nullopt);
    auto single = store(Estimator::fp16Dynamic());
    single.loadIfNeeded();
    const auto chosen = single.vectorEstimator(900);
    EXPECT_EQ(chosen.paddedLength, 900);
    EXPECT_EQ(chosen.model, single.vectorEstimator(1).model);
    EXPECT_EQ(kernel.loads().size(), 4U);
}

TEST_F(Supertonic3ModelStoreTest, ReadsTheSetsConfigurationOrKeepsTheDefaultsWithOneWarning) {
    serveSet(std::nullopt);
    auto configured = store(Estimator::fp16Dynamic());
    EXPECT_EQ(configured.config(), Supertonic3Config::defaults());
    configured.loadIfNeeded();
    EXPECT_EQ(configured.config(), (Supertonic3Config{.ae = {.sampleRate = 48000, .baseChunkSize = 256},
                                                      .ttl = {.chunkCompressFactor = 4, .latentDim = 32}}));
    EXPECT_TRUE(lines("Supertonic3ModelStore", LogType::error).empty());

    std::ofstream(repoDir / "tts.json")
        << R"({"ae": {"sample_rate": 22050, "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 6}})";
    auto defaulted = store(Estimator::fp16Dynamic());
    defaulted.loadIfNeeded();
    EXPECT_EQ(defaulted.config(), Supertonic3Config::defaults());
    const Lines warnings = lines("Supertonic3ModelStore", LogType::error);
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_TRUE(warnings[0].starts_with("Failed to decode tts.json (")) << warnings[0];
    EXPECT_TRUE(warnings[0].ends_with("); using compile-time defaults")) << warnings[0];
}

TEST_F(Supertonic3ModelStoreTest, ACachedSetMakesNoHubCallAndUnloadKeepsTheRepository) {
    serveSet(std::nullopt);
    auto subject = store(Estimator::fp16Dynamic());
    EXPECT_EQ(errorText([&] { subject.unicodeIndexerURL(); }),
              "Supertonic3 manager has not been initialized. Call initialize() first.");
    EXPECT_THROW(subject.textEncoder(), Supertonic3Error);
    subject.loadIfNeeded();
    const auto requests = hub.requests().size();
    EXPECT_GT(fileRequests(), 0U);

    subject.unload();
    EXPECT_EQ(subject.unicodeIndexerURL(), repoDir / "unicode_indexer.json");
    EXPECT_EQ(subject.repoDir(), repoDir);
    EXPECT_EQ(errorText([&] { subject.vocoder(); }),
              "Supertonic3 manager has not been initialized. Call initialize() first.");
    EXPECT_THROW(subject.vectorEstimator(10), Supertonic3Error);

    subject.loadIfNeeded();
    EXPECT_NE(subject.vocoder(), nullptr);
    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(kernel.loads().size(), 8U);
    const Lines info = lines("Supertonic3ResourceDownloader", LogType::info);
    EXPECT_EQ(info, (Lines{"Downloading Supertonic-3 CoreML assets from HuggingFace\u2026",
                           "Supertonic-3 assets found in cache at " + repoDir.string()}));
    const Lines storeInfo = lines("Supertonic3ModelStore", LogType::info);
    ASSERT_EQ(storeInfo.size(), 12U);
    EXPECT_EQ(storeInfo[0], "Loading Supertonic-3 CoreML models from " + repoDir.string() + "\u2026");
    EXPECT_EQ(Lines(storeInfo.begin() + 1, storeInfo.begin() + 5),
              (Lines{"Loaded TextEncoder.mlmodelc", "Loaded DurationPredictor.mlmodelc", "Loaded Vocoder.mlmodelc",
                     "Loaded VectorEstimator.mlmodelc"}));
    EXPECT_TRUE(storeInfo[5].starts_with("Supertonic-3 models loaded in ")) << storeInfo[5];
    EXPECT_TRUE(storeInfo[5].ends_with("s")) << storeInfo[5];
}

TEST_F(Supertonic3ModelStoreTest, MissingAndBrokenBundlesAreNamed) {
    serveSet("ane-int4");
    auto subject = store(Estimator::defaultEstimator());
    subject.loadIfNeeded();
    fs::remove_all(repoDir / "VectorEstimatorVariants/VectorEstimator_L256_int4.mlmodelc");
    EXPECT_EQ(errorText([&] { subject.vectorEstimator(200); }),
              "Supertonic3 model file not found: VectorEstimatorVariants/VectorEstimator_L256_int4.mlmodelc");

    kernel.failLoadsWith(std::make_exception_ptr(std::runtime_error("weights unreadable")));
    EXPECT_EQ(errorText([&] { subject.vectorEstimator(300); }),
              "Supertonic3 model appears corrupted: VectorEstimatorVariants/VectorEstimator_L512_int4.mlmodelc "
              "(weights unreadable)");
    kernel.failLoadsWith(nullptr);
    EXPECT_EQ(subject.vectorEstimator(300).paddedLength, 512);
}

TEST_F(Supertonic3ModelStoreTest, AFailedDownloadIsReportedAsSuch) {
    auto subject = store(Estimator::fp16Dynamic());
    const std::string text = errorText([&] { subject.loadIfNeeded(); });
    EXPECT_TRUE(text.starts_with("Supertonic3 download failed: ")) << text;
    EXPECT_EQ(errorText([&] { subject.repoDir(); }),
              "Supertonic3 manager has not been initialized. Call initialize() first.");
}

class Supertonic3VoiceDownloadTest : public Supertonic3ModelStoreTest {
protected:
    static std::string styleDocument(std::size_t ttlRows) {
        nlohmann::json rows = nlohmann::json::array();
        for (std::size_t row = 0; row < ttlRows; ++row) {
            rows.push_back(std::vector<float>(256, 0.25F));
        }
        return nlohmann::json{
            {"style_ttl", {{"data", {rows}}, {"dims", {1, 50, 256}}, {"type", "float32"}}},
            {"style_dp",
             {{"data", {std::vector<std::vector<float>>(8, std::vector<float>(16, 0.5F))}},
              {"dims", {1, 8, 16}},
              {"type", "float32"}}},
        }
            .dump();
    }
};

TEST_F(Supertonic3VoiceDownloadTest, ACachedVoiceMakesNoHubCall) {
    fs::create_directories(repoDir / "voice_styles");
    std::ofstream(repoDir / "voice_styles/F2.json") << styleDocument(50);

    EXPECT_EQ(Supertonic3ResourceDownloader::downloadVoiceStyle(Supertonic3Voice::f2, root),
              repoDir / "voice_styles/F2.json");
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(lines("Supertonic3ResourceDownloader", LogType::info), Lines{"Supertonic-3 voice F2 found in cache"});
}

TEST_F(Supertonic3VoiceDownloadTest, AnUncachedVoiceFetchesOnlyItsOwnFile) {
    hub.putFile(repository, "voice_styles/F1.json", styleDocument(50));
    hub.putFile(repository, "voice_styles/M1.json", styleDocument(49));

    const auto style = Supertonic3ResourceDownloader::loadVoiceStyle(Supertonic3Voice::m1, root);

    EXPECT_EQ(style.name, "M1");
    EXPECT_EQ(style.ttlValues.size(), 12544U);
    EXPECT_TRUE(hub.requestsFor(LoopbackHub::filePath(repository, "voice_styles/F1.json")).empty());
    EXPECT_EQ(hub.requestsFor(LoopbackHub::filePath(repository, "voice_styles/M1.json")).size(), 1U);
    EXPECT_FALSE(fs::exists(repoDir / "voice_styles/F1.json"));
    EXPECT_EQ(lines("Supertonic3ResourceDownloader", LogType::info).front(),
              "Downloading Supertonic-3 voice M1 from HuggingFace\u2026");
}

TEST_F(Supertonic3VoiceDownloadTest, AVoiceTheHubLacksIsADownloadFailure) {
    hub.putFile(repository, "voice_styles/F1.json", styleDocument(50));
    EXPECT_EQ(errorText([&] { Supertonic3ResourceDownloader::downloadVoiceStyle(Supertonic3Voice::m3, root); }),
              "Supertonic3 download failed: voice M3 missing after download");

    hub.failPath(LoopbackHub::treePath(repository, "voice_styles"), LoopbackHub::Fault::answer(404), 10);
    const std::string text =
        errorText([&] { Supertonic3ResourceDownloader::downloadVoiceStyle(Supertonic3Voice::m3, root); });
    EXPECT_TRUE(text.starts_with("Supertonic3 download failed: voice M3: ")) << text;
}

} // namespace
} // namespace quorl
