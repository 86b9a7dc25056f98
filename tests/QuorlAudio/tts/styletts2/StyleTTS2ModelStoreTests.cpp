#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ModelStore.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ResourceDownloader.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/styletts2/StyleTTS2Fixtures.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace fixtures = styletts2fixtures;
using fixtures::kindAndText;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::LoopbackHub;
using testsupport::ScriptedKernel;
using Lines = std::vector<std::string>;
using Placements = std::map<std::string, ComputeUnits>;

constexpr const char* kokoroRepository = "ZirazEvavirivi/kokoro-82m-coreml";

class StyleTTS2ModelStoreTest : public testing::HubTest {
protected:
    StyleTTS2ModelStoreTest() {
        environment.set("HOME", (folder / "home").string());
        for (const auto* stage : {"text_encoder", "bert", "ref_encoder", "fused_diffusion_sampler",
                                  "duration_predictor", "fused_f0n_har_source", "decoder_pre", "decoder_upsample"}) {
            kernels.emplace(stage, ScriptedKernel(fixtures::kernelOf(stage)));
        }
    }

    void writeDefaults() { fixtures::writeBundles(repository, ModelNames::StyleTTS2::requiredModels()); }

    void serveBucket(int size) {
        for (const auto& name : ModelNames::StyleTTS2::bucketModels(size)) {
            fixtures::serveBundle(hub, "", name);
        }
    }

    // Every load so far: bundle file name to the compute units it was loaded with (the last load wins).
    Placements placements() const {
        Placements loaded;
        for (const auto& [stage, kernel] : kernels) {
            for (const auto& load : kernel.loads()) {
                loaded[load.bundlePath.filename().string()] = load.configuration.computeUnits;
            }
        }
        return loaded;
    }

    std::size_t loadCount() const {
        std::size_t count = 0;
        for (const auto& [stage, kernel] : kernels) {
            count += kernel.loads().size();
        }
        return count;
    }

    Lines lines(const std::string& category) const { return sink.messages(category, LogType::info); }

    const fs::path root = folder / "Models";
    const fs::path repository = root / "styletts2";
    testsupport::RecordingLogSink sink;
    std::map<std::string, ScriptedKernel> kernels;
};

const Placements fixedPlacements = {
    {"text_encoder_fp16.mlmodelc", ComputeUnits::cpuOnly},
    {"bert_fp16.mlmodelc", ComputeUnits::all},
    {"ref_encoder_fp16.mlmodelc", ComputeUnits::cpuAndGPU},
    {"fused_diffusion_sampler_fp16.mlmodelc", ComputeUnits::all},
    {"duration_predictor_fp16.mlmodelc", ComputeUnits::cpuOnly},
    {"fused_f0n_har_source.mlmodelc", ComputeUnits::cpuOnly},
    {"decoder_pre_fp16.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
    {"decoder_upsample_fp16.mlmodelc", ComputeUnits::cpuOnly},
};

TEST_F(StyleTTS2ModelStoreTest, AWarmCacheLoadsTheEightWithTheirFixedPlacementsAndNoHubCall) {
    writeDefaults();
    for (const auto units : {ComputeUnits::cpuAndGPU, ComputeUnits::all, ComputeUnits::cpuAndNeuralEngine}) {
        SCOPED_TRACE(description(units));
        StyleTTS2ModelStore store(root, units);
        store.loadIfNeeded();
        EXPECT_EQ(placements(), fixedPlacements);
    }
    EXPECT_TRUE(hub.requests().empty());

    const auto loadLines = lines("StyleTTS2ModelStore");
    ASSERT_EQ(loadLines.size(), 30u);
    EXPECT_EQ(loadLines[0], "Loading StyleTTS2 CoreML models from " + repository.string() + "\u2026");
    EXPECT_EQ(loadLines[1], "Loaded text_encoder_fp16.mlmodelc");
    EXPECT_EQ(loadLines[8], "Loaded decoder_upsample_fp16.mlmodelc");
    EXPECT_TRUE(loadLines[9].starts_with("StyleTTS2 default models loaded in ")) << loadLines[9];
    EXPECT_TRUE(loadLines[9].ends_with("s") && loadLines[9].find('.') != std::string::npos) << loadLines[9];
    EXPECT_EQ(lines("StyleTTS2ResourceDownloader").front(),
              "StyleTTS2 default models found in cache at " + repository.string());
}

TEST_F(StyleTTS2ModelStoreTest, CpuOnlyPutsEveryModelDefaultAndBucketOnTheProcessor) {
    writeDefaults();
    serveBucket(128);
    StyleTTS2ModelStore store(root, ComputeUnits::cpuOnly);
    store.loadIfNeeded();
    store.bert(100);
    store.sampler(128);
    const auto loaded = placements();
    EXPECT_EQ(loaded.size(), 10u);
    for (const auto& [bundle, units] : loaded) {
        EXPECT_EQ(units, ComputeUnits::cpuOnly) << bundle;
    }
}

TEST_F(StyleTTS2ModelStoreTest, AColdCacheIsFetchedThroughTheHubIntoTheRepositoryFolder) {
    for (const auto& name : ModelNames::StyleTTS2::requiredModels()) {
        fixtures::serveBundle(hub, fixtures::hubModelFolder, name);
    }
    StyleTTS2ModelStore store(root, ComputeUnits::all);
    store.loadIfNeeded();

    EXPECT_EQ(store.repoDir(), repository);
    EXPECT_EQ(placements(), fixedPlacements);
    EXPECT_TRUE(fs::exists(repository / "decoder_pre_fp16.mlmodelc" / "model.json"));
    EXPECT_EQ(lines("StyleTTS2ResourceDownloader").front(),
              "Downloading StyleTTS2 LibriTTS models (iteration_3) from HuggingFace\u2026");
}

TEST_F(StyleTTS2ModelStoreTest, TokenCountsPickTheDefaultModelsOrTheSmallestBucketLoadedOnce) {
    writeDefaults();
    serveBucket(64);
    serveBucket(128);
    serveBucket(256);
    StyleTTS2ModelStore store(root, ComputeUnits::cpuAndGPU);
    store.loadIfNeeded();
    EXPECT_EQ(store.bert(57), store.bert());
    EXPECT_EQ(store.sampler(1), store.fusedDiffusionSampler());
    EXPECT_TRUE(hub.requests().empty());

    const struct {
        int tokens;
        const char* bert;
        const char* sampler;
    } cases[] = {{58, "bert_fp16_t64.mlmodelc", "fused_diffusion_sampler_fp16_t64.mlmodelc"},
                 {64, "bert_fp16_t64.mlmodelc", "fused_diffusion_sampler_fp16_t64.mlmodelc"},
                 {65, "bert_fp16_t128.mlmodelc", "fused_diffusion_sampler_fp16_t128.mlmodelc"},
                 {256, "bert_fp16_t256.mlmodelc", "fused_diffusion_sampler_fp16_t256.mlmodelc"}};
    for (const auto& example : cases) {
        SCOPED_TRACE(example.tokens);
        const auto bert = store.bert(example.tokens);
        EXPECT_EQ(kernels.at("bert").loads().back().bundlePath, repository / example.bert);
        const auto sampler = store.sampler(example.tokens);
        EXPECT_EQ(kernels.at("fused_diffusion_sampler").loads().back().bundlePath, repository / example.sampler);
        EXPECT_EQ(placements().at(example.bert), ComputeUnits::all);

        const auto requests = hub.requests().size();
        const auto loads = loadCount();
        EXPECT_EQ(store.bert(example.tokens), bert);
        EXPECT_EQ(store.sampler(example.tokens), sampler);
        EXPECT_EQ(hub.requests().size(), requests);
        EXPECT_EQ(loadCount(), loads);
    }
    EXPECT_EQ(kindAndText([&] { store.bert(257); }, StyleTTS2Error::Kind::noBucketAvailable),
              "No StyleTTS2 token-axis bucket fits 257 tokens (max bucket = 256).");
    EXPECT_EQ(StyleTTS2ModelStore::resolveBucket(58), 64);
}

TEST_F(StyleTTS2ModelStoreTest, OnlyTheMissingBundleOfABucketIsFetched) {
    writeDefaults();
    fixtures::writeBundles(repository, {"bert_fp16_t64.mlmodelc"});
    serveBucket(64);
    StyleTTS2ModelStore store(root, ComputeUnits::all);
    store.loadIfNeeded();

    store.bert(60);
    EXPECT_EQ(lines("StyleTTS2ResourceDownloader").back(), "Fetching StyleTTS2 bucket T=64 (1 bundles)");
    for (const auto& request : hub.requests()) {
        EXPECT_EQ(request.path.find("bert_fp16_t64"), std::string::npos) << request.path;
    }
    EXPECT_TRUE(fs::exists(repository / "fused_diffusion_sampler_fp16_t64.mlmodelc" / "model.json"));
    const auto requests = hub.requests().size();
    store.sampler(60);
    EXPECT_EQ(hub.requests().size(), requests);
}

TEST_F(StyleTTS2ModelStoreTest, NothingCanBeHadBeforeLoadingOrAfterUnloading) {
    using Kind = StyleTTS2Error::Kind;
    const std::string notInitialized = "StyleTTS2 manager has not been initialized. Call initialize() first.";
    StyleTTS2ModelStore store(root, ComputeUnits::all);
    EXPECT_EQ(kindAndText([&] { store.textEncoder(); }, Kind::notInitialized), notInitialized);
    EXPECT_EQ(kindAndText([&] { store.bert(100); }, Kind::notInitialized), notInitialized);
    EXPECT_EQ(kindAndText([&] { store.repoDir(); }, Kind::notInitialized), notInitialized);

    writeDefaults();
    store.loadIfNeeded();
    store.loadIfNeeded();
    EXPECT_EQ(loadCount(), 8u);
    store.unload();
    for (const auto& accessor : std::vector<std::function<void()>>{
             [&] { store.textEncoder(); }, [&] { store.bert(); }, [&] { store.refEncoder(); },
             [&] { store.fusedDiffusionSampler(); }, [&] { store.durationPredictor(); },
             [&] { store.fusedF0nHarSource(); }, [&] { store.decoderPre(); }, [&] { store.decoderUpsample(); },
             [&] { store.sampler(3); }}) {
        EXPECT_EQ(kindAndText(accessor, Kind::notInitialized), notInitialized);
    }
    EXPECT_EQ(store.repoDir(), repository);
    store.loadIfNeeded();
    EXPECT_EQ(loadCount(), 16u);
    EXPECT_NE(store.decoderUpsample(), nullptr);
}

TEST_F(StyleTTS2ModelStoreTest, ALoadThatFailsPartWayIsTakenUpAgainByTheNextLoad) {
    writeDefaults();
    kernels.at("ref_encoder").failLoadsWith(std::make_exception_ptr(std::runtime_error("weights unreadable")));
    StyleTTS2ModelStore store(root, ComputeUnits::all);

    EXPECT_EQ(kindAndText([&] { store.loadIfNeeded(); }, StyleTTS2Error::Kind::corruptedModel),
              "StyleTTS2 model appears corrupted: ref_encoder_fp16.mlmodelc (weights unreadable)");
    EXPECT_NE(store.textEncoder(), nullptr);
    EXPECT_THROW(store.refEncoder(), StyleTTS2Error);

    kernels.at("ref_encoder").failLoadsWith(nullptr);
    fs::remove_all(repository / "decoder_pre_fp16.mlmodelc");
    fixtures::serveBundle(hub, fixtures::hubModelFolder, "decoder_pre_fp16.mlmodelc");
    const auto textEncoder = store.textEncoder();
    store.loadIfNeeded();
    EXPECT_EQ(store.textEncoder(), textEncoder);
    EXPECT_NE(store.refEncoder(), nullptr);
    EXPECT_NE(store.decoderPre(), nullptr);
}

TEST_F(StyleTTS2ModelStoreTest, DownloadFailuresNameWhatCouldNotBeHad) {
    using Kind = StyleTTS2Error::Kind;
    StyleTTS2ModelStore cold(root, ComputeUnits::all);
    EXPECT_TRUE(
        kindAndText([&] { cold.loadIfNeeded(); }, Kind::downloadFailed).starts_with("StyleTTS2 download failed: "));

    writeDefaults();
    StyleTTS2ModelStore store(root, ComputeUnits::all);
    store.loadIfNeeded();
    hub.failPath(LoopbackHub::treePath(fixtures::hubRepository, "bert_fp16_t64.mlmodelc"),
                 LoopbackHub::Fault::answer(403, "forbidden"));
    const auto text = kindAndText([&] { store.bert(60); }, Kind::downloadFailed);
    EXPECT_TRUE(text.starts_with("StyleTTS2 download failed: bucket T=64 bundle bert_fp16_t64.mlmodelc \u2014 "))
        << text;
    EXPECT_TRUE(kindAndText([&] { store.bert(100); }, Kind::downloadFailed)
                    .starts_with("StyleTTS2 download failed: bucket T=128 bundle bert_fp16_t128.mlmodelc \u2014 "));
    EXPECT_EQ(kindAndText([&] { StyleTTS2ResourceDownloader::ensureBucket(100, repository); }, Kind::noBucketAvailable),
              "No StyleTTS2 token-axis bucket fits 100 tokens (max bucket = 256).");
}

TEST_F(StyleTTS2ModelStoreTest, TheLexiconGoesToTheSharedKokoroFolderOnce) {
    const auto kokoro = folder / "home" / ".cache" / "quorlaudio" / "Models" / "kokoro";
    EXPECT_EQ(
        kindAndText([] { StyleTTS2ResourceDownloader::ensureLexiconCache(); }, StyleTTS2Error::Kind::downloadFailed),
        "StyleTTS2 download failed: us_lexicon_cache.json: Unexpected response (status 404) while "
        "downloading us_lexicon_cache.json");

    hub.putFile(kokoroRepository, "us_lexicon_cache.json", "{}");
    EXPECT_EQ(StyleTTS2ResourceDownloader::ensureLexiconCache(), kokoro);
    EXPECT_EQ(testsupport::fileContents(kokoro / "us_lexicon_cache.json"), "{}");
    const auto requests = hub.requests().size();
    EXPECT_EQ(StyleTTS2ResourceDownloader::ensureLexiconCache(), kokoro);
    EXPECT_EQ(hub.requests().size(), requests);
}

TEST_F(StyleTTS2ModelStoreTest, G2PAssetsAreFetchedOnlyWhenOneIsMissing) {
    for (const auto& name : ModelNames::G2P::requiredModels()) {
        fs::create_directories(root / "kokoro" / name);
    }
    StyleTTS2ResourceDownloader::ensureG2PAssets(root, {});
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(lines("StyleTTS2ResourceDownloader").empty());

    fs::remove_all(root / "kokoro" / "g2p_vocab.json");
    hub.putFile(kokoroRepository, "g2p_vocab.json", "{}");
    StyleTTS2ResourceDownloader::ensureG2PAssets(root, {});
    EXPECT_EQ(testsupport::fileContents(root / "kokoro" / "g2p_vocab.json"), "{}");
    EXPECT_EQ(lines("StyleTTS2ResourceDownloader").front(),
              "Downloading kokoro G2P assets (g2p-only variant) from HuggingFace\u2026");

    fs::remove_all(root / "kokoro" / "G2PEncoder.mlmodelc");
    hub.failPath(LoopbackHub::treePath(kokoroRepository), LoopbackHub::Fault::answer(403, "forbidden"), 100);
    EXPECT_TRUE(kindAndText([&] { StyleTTS2ResourceDownloader::ensureG2PAssets(root, {}); },
                            StyleTTS2Error::Kind::downloadFailed)
                    .starts_with("StyleTTS2 download failed: kokoro G2P assets: "));
}

} // namespace
} // namespace quorl
