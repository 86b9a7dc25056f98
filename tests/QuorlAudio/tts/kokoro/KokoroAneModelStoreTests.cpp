#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"
#include "tests/QuorlAudio/tts/kokoro/KokoroTest.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace quorl::testing {
namespace {

namespace fs = std::filesystem;
using Kind = KokoroAneError::Kind;
using platform::sys::LogType;
using testsupport::errorText;

class KokoroAneModelStoreTest : public KokoroTest {
protected:
    std::vector<std::string> storeInfo() const { return lines("KokoroAneModelStore", LogType::info); }

    bool logged(const std::string& prefix) const {
        for (const auto& line : sink.messages("KokoroAneModelStore")) {
            if (line.starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(KokoroAneModelStoreTest, LoadsEveryStageWithItsPlacementAndLowPrecisionAccumulation) {
    const auto units = KokoroAneComputeUnits::aneTailGpu();
    const auto store = makeStore(KokoroAneVariant::english, units);
    EXPECT_FALSE(store->isLoaded());

    store->loadIfNeeded();
    store->loadIfNeeded();

    EXPECT_TRUE(store->isLoaded());
    for (const auto stage : platform::core::allCases<KokoroAneStage>()) {
        const auto loads = repository.kernel(stage).loads();
        ASSERT_EQ(loads.size(), 1u) << rawValue(stage);
        EXPECT_EQ(loads[0].configuration.computeUnits, units.forStage(stage)) << rawValue(stage);
        EXPECT_TRUE(loads[0].configuration.allowLowPrecisionAccumulationOnGPU);
        EXPECT_EQ(loads[0].bundlePath, repositoryFolder(KokoroAneVariant::english) / bundleName(stage));
    }
    EXPECT_EQ(store->vocabulary().map.size(), repository.vocabulary.size());
    EXPECT_TRUE(
        logged("Loading 7 KokoroAne CoreML models from " + repositoryFolder(KokoroAneVariant::english).string()));
    EXPECT_TRUE(logged("  loaded KokoroTail.mlmodelc in "));
    EXPECT_TRUE(logged("Loaded voice pack 'af_heart'"));
}

TEST_F(KokoroAneModelStoreTest, ATailThatCannotBeHadOrLoadedLeavesTheStoreEmpty) {
    repository.unserved = {KokoroAneStage::tail};
    const auto store = makeStore(KokoroAneVariant::english);
    EXPECT_EQ(kokoroError([&] { store->loadIfNeeded(); }), "other error: Model file not found: KokoroTail.mlmodelc");
    EXPECT_EQ(repository.kernel(KokoroAneStage::albert).loads().size(), 0u);

    repository.unserved.clear();
    repository.serve(hub, KokoroAneVariant::english);
    repository.kernel(KokoroAneStage::tail).failLoadsWith(std::make_exception_ptr(std::runtime_error("no tail")));
    EXPECT_EQ(kokoroError([&] { store->loadIfNeeded(); }), "other error: no tail");

    EXPECT_EQ(repository.kernel(KokoroAneStage::vocoder).loads().size(), 1u);
    EXPECT_FALSE(store->isLoaded());
    EXPECT_EQ(
        kokoroError([&] { store->model(KokoroAneStage::albert); }),
        kind(Kind::modelNotLoaded, "KokoroAne model 'KokoroAlbert.mlmodelc' not loaded. Call initialize() first."));
    EXPECT_EQ(kokoroError([&] { store->vocabulary(); }),
              kind(Kind::modelNotLoaded, "KokoroAne model 'vocab.json' not loaded. Call initialize() first."));
    EXPECT_EQ(kokoroError([&] { store->voicePack("af_heart"); }),
              kind(Kind::modelNotLoaded,
                   "KokoroAne model 'voice pack (repo not initialized)' not loaded. Call initialize() first."));
}

TEST_F(KokoroAneModelStoreTest, VoicePacksAreReadOnceAndAFailingDefaultPackKeepsTheStoreLoaded) {
    repository.serve(hub, KokoroAneVariant::japanese);
    hub.putFile(KokoroTestRepository::hubRepository, "ANE-ja/voices/jf_alpha.bin", "short");
    KokoroAneModelStore store(modelsRoot, KokoroAneComputeUnits::cpuOnly(), KokoroAneVariant::japanese);

    EXPECT_EQ(kokoroError([&] { store.loadIfNeeded(); }),
              kind(Kind::invalidVoicePack,
                   "KokoroAne voice pack is invalid: file size 5 is not a multiple of sizeof(Float)=4"));
    EXPECT_TRUE(store.isLoaded());
    EXPECT_NO_THROW(store.loadIfNeeded());

    repository.serveVoicePack(hub, KokoroAneVariant::japanese, "jm_kumo", 1.0F);
    const auto first = store.voicePack("jm_kumo");
    fs::remove_all(repositoryFolder(KokoroAneVariant::japanese) / "voices");
    const auto requests = hub.requests().size();
    EXPECT_EQ(store.voicePack("jm_kumo"), first);
    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(first->slice(1).styleTimbre.front(), 1.0F);
}

TEST_F(KokoroAneModelStoreTest, TheMandarinPipelineIsRefusedElsewhereAndNeedsItsDictionaries) {
    for (const auto variant : {KokoroAneVariant::english, KokoroAneVariant::japanese}) {
        KokoroAneModelStore store(modelsRoot, KokoroAneComputeUnits::cpuOnly(), variant);
        EXPECT_EQ(kokoroError([&] { store.mandarinG2PPipeline(); }),
                  kind(Kind::inputProcessingFailed,
                       "KokoroAne input processing failed: Mandarin G2P requested on a non-mandarin store"));
    }
    const auto store = makeStore(KokoroAneVariant::mandarin);
    EXPECT_EQ(kokoroError([&] { store->mandarinG2PPipeline(); }),
              kind(Kind::modelNotLoaded,
                   "KokoroAne model 'Mandarin G2P (repo not initialized)' not loaded. Call initialize() first."));
    store->loadIfNeeded();
    EXPECT_NE(kokoroError([&] { store->mandarinG2PPipeline(); }).find("pinyin_phrases.bin"), std::string::npos);
}

TEST_F(KokoroAneModelStoreTest, BadSegmentationTablesAndPolyphoneModelDegradeThePipeline) {
    const auto store = makeStore(KokoroAneVariant::mandarin);
    repository.serveMandarinAssets(hub, "corrupt");
    store->loadIfNeeded();

    EXPECT_EQ(store->mandarinG2PPipeline().phonemize("你"), "ㄋㄧ3");

    EXPECT_TRUE(logged("Jieba HMM tables failed to parse ("));
    EXPECT_TRUE(logged("g2pW load failed ("));
    EXPECT_EQ(storeInfo().back(), "Loaded Mandarin G2P (phrases=1, singles=2, jieba=false, g2pw=off)");
}

TEST_F(KokoroAneModelStoreTest, TheMandarinCustomLexiconHoldsBeforeAfterAndAcrossCleanup) {
    const auto store = makeStore(KokoroAneVariant::mandarin);
    repository.serveMandarinAssets(hub);
    const auto hao = MandarinCustomLexicon::fromTokenTexts({{"你", {"hao3"}}});
    const auto ni = MandarinCustomLexicon::fromTokenTexts({{"好", {"ni3"}}});

    store->setMandarinCustomLexicon(hao);
    store->loadIfNeeded();
    EXPECT_EQ(store->mandarinG2PPipeline().phonemize("你"), "ㄏㄠ3");

    store->setMandarinCustomLexicon(ni);
    EXPECT_EQ(store->mandarinG2PPipeline().phonemize("你"), "ㄋㄧ3");
    EXPECT_EQ(store->mandarinG2PPipeline().phonemize("好"), "ㄋㄧ3");

    store->cleanup();
    store->loadIfNeeded();
    EXPECT_EQ(store->mandarinG2PPipeline().phonemize("好"), "ㄋㄧ3");
    EXPECT_EQ(storeInfo().back(), "Loaded Mandarin G2P (phrases=1, singles=2, jieba=true, g2pw=off)");
}

} // namespace
} // namespace quorl::testing
