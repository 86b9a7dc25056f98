#include "QuorlAudio/asr/streaming/StreamingModelVariant.hpp"

#include "QuorlAudio/asr/streaming/StreamingEouAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace quorl {
namespace {

using platform::core::allCases;
using platform::core::fromRawValue;
using platform::ml::ComputeUnits;
using V = StreamingModelVariant;

struct Row {
    V variant;
    std::string rawValue;
    std::string displayName;
    Repo repo;
    EngineFamily family;
    std::optional<StreamingChunkSize> eou;
    std::optional<NemotronChunkSize> nemotron;
    // Chunk and right-context frames; every geometry has 70 frames of left context.
    std::optional<std::pair<std::int64_t, std::int64_t>> unified;
};

const std::vector<Row>& catalogue() {
    static const std::vector<Row> rows{
        {V::parakeetEou160ms, "parakeet-eou-160ms", "Parakeet EOU 120M (160ms)", Repo::parakeetEou160,
         EngineFamily::parakeetEou, StreamingChunkSize::ms160, std::nullopt, std::nullopt},
        {V::parakeetEou320ms, "parakeet-eou-320ms", "Parakeet EOU 120M (320ms)", Repo::parakeetEou320,
         EngineFamily::parakeetEou, StreamingChunkSize::ms320, std::nullopt, std::nullopt},
        {V::parakeetEou1280ms, "parakeet-eou-1280ms", "Parakeet EOU 120M (1280ms)", Repo::parakeetEou1280,
         EngineFamily::parakeetEou, StreamingChunkSize::ms1280, std::nullopt, std::nullopt},
        {V::nemotron2240ms, "nemotron-2240ms", "Nemotron 0.6B (2240ms)", Repo::nemotronStreaming2240,
         EngineFamily::nemotron, std::nullopt, NemotronChunkSize::ms2240, std::nullopt},
        {V::nemotron1120ms, "nemotron-1120ms", "Nemotron 0.6B (1120ms)", Repo::nemotronStreaming1120,
         EngineFamily::nemotron, std::nullopt, NemotronChunkSize::ms1120, std::nullopt},
        {V::nemotron560ms, "nemotron-560ms", "Nemotron 0.6B (560ms)", Repo::nemotronStreaming560,
         EngineFamily::nemotron, std::nullopt, NemotronChunkSize::ms560, std::nullopt},
        {V::parakeetUnified2080ms, "parakeet-unified-2080ms", "Parakeet Unified 0.6B (2080ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, std::nullopt, std::nullopt, std::pair{13, 13}},
        {V::parakeetUnified1120ms, "parakeet-unified-1120ms", "Parakeet Unified 0.6B (1120ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, std::nullopt, std::nullopt, std::pair{7, 7}},
        {V::parakeetUnified320ms, "parakeet-unified-320ms", "Parakeet Unified 0.6B (320ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, std::nullopt, std::nullopt, std::pair{2, 2}},
        {V::parakeetUnified640ms, "parakeet-unified-640ms", "Parakeet Unified 0.6B (640ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, std::nullopt, std::nullopt, std::pair{7, 1}},
        {V::parakeetUnifiedOffline15s, "parakeet-unified-offline-15s", "Parakeet Unified 0.6B (offline 15s batch)",
         Repo::parakeetUnified, EngineFamily::parakeetUnified, std::nullopt, std::nullopt, std::nullopt},
    };
    return rows;
}

TEST(StreamingModelVariantTest, EveryVariantHasTheCatalogueProperties) {
    const auto cases = allCases<V>();
    ASSERT_EQ(cases.size(), catalogue().size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& row = catalogue()[i];
        SCOPED_TRACE(row.rawValue);
        EXPECT_EQ(cases[i], row.variant);
        EXPECT_EQ(rawValue(row.variant), row.rawValue);
        EXPECT_EQ(fromRawValue<V>(row.rawValue), row.variant);
        EXPECT_EQ(displayName(row.variant), row.displayName);
        EXPECT_EQ(repo(row.variant), row.repo);
        EXPECT_EQ(engineFamily(row.variant), row.family);
        EXPECT_EQ(eouChunkSize(row.variant), row.eou);
        EXPECT_EQ(nemotronChunkSize(row.variant), row.nemotron);
        const auto config = unifiedConfig(row.variant);
        ASSERT_EQ(config.has_value(), row.unified.has_value());
        if (config) {
            EXPECT_EQ(*config, (UnifiedConfig{.leftFrames = 70,
                                              .chunkFrames = row.unified->first,
                                              .rightFrames = row.unified->second,
                                              .sampleRate = 16000,
                                              .frameSamples = 1280,
                                              .melFeatures = 128,
                                              .decoderLayers = 2,
                                              .decoderHidden = 640,
                                              .blankIdx = 1024,
                                              .maxSymbolsPerFrame = 10}));
            EXPECT_EQ(row.displayName, "Parakeet Unified 0.6B (" + std::to_string(config->latencyMs()) + "ms)");
        }
    }
}

TEST(StreamingModelVariantTest, RawValuesMatchExactly) {
    for (const auto* text : {"PARAKEET-EOU-160MS", "parakeet-eou-160", "parakeet-eou-160ms ", "", "nemotron"}) {
        EXPECT_EQ(fromRawValue<V>(text), std::nullopt) << text;
    }
    for (const auto family : {EngineFamily::parakeetEou, EngineFamily::nemotron, EngineFamily::parakeetUnified}) {
        EXPECT_EQ(fromRawValue<EngineFamily>(rawValue(family)), family);
    }
    EXPECT_EQ(rawValue(EngineFamily::parakeetUnified), "parakeet-unified");
    EXPECT_EQ(fromRawValue<EngineFamily>("Nemotron"), std::nullopt);
}

class StreamingModelVariantFactoryTest : public testing::ModelHubTest {};

const platform::ml::ModelConfiguration cpuOnly{
    .computeUnits = ComputeUnits::cpuOnly, .allowLowPrecisionAccumulationOnGPU = true, .functionName = std::nullopt};

TEST_F(StreamingModelVariantFactoryTest, EndOfUtteranceVariantsGetTheirGeometryAndAFixedDebounce) {
    for (const auto variant : {V::parakeetEou160ms, V::parakeetEou320ms, V::parakeetEou1280ms}) {
        const auto engine = createManager(variant, std::nullopt);
        const auto* eou = dynamic_cast<const StreamingEouAsrManager*>(engine.get());
        ASSERT_NE(eou, nullptr) << rawValue(variant);
        EXPECT_EQ(eou->chunkSize(), eouChunkSize(variant));
        EXPECT_EQ(eou->eouDebounceMs(), 1280);
        EXPECT_FALSE(eou->debugFeatures());
        EXPECT_EQ(eou->configuration().computeUnits, ComputeUnits::all);
    }
    const auto given = createManager(V::parakeetEou320ms, cpuOnly);
    EXPECT_EQ(dynamic_cast<const StreamingEouAsrManager&>(*given).configuration().computeUnits, ComputeUnits::cpuOnly);
    EXPECT_EQ(given->displayName(), "Parakeet EOU 120M (630ms)");
}

TEST_F(StreamingModelVariantFactoryTest, EnglishCacheAwareVariantsFetchTheirOwnChunkSizesRepository) {
    for (const auto variant : {V::nemotron2240ms, V::nemotron1120ms, V::nemotron560ms}) {
        const auto engine = createManager(variant, std::nullopt);
        const auto* nemotron = dynamic_cast<const StreamingNemotronAsrManager*>(engine.get());
        ASSERT_NE(nemotron, nullptr) << rawValue(variant);
        EXPECT_EQ(nemotron->mlConfiguration().computeUnits, ComputeUnits::all);
        EXPECT_FALSE(nemotron->mlConfiguration().allowLowPrecisionAccumulationOnGPU);
        EXPECT_ANY_THROW(engine->loadModels());
        const auto listing = testsupport::LoopbackHub::treePath(remotePath(quorl::repo(variant)),
                                                                subPath(quorl::repo(variant)).value_or(""));
        EXPECT_EQ(hub.requests().back().path, listing);
    }
    const auto given = createManager(V::nemotron560ms, cpuOnly);
    EXPECT_EQ(dynamic_cast<const StreamingNemotronAsrManager&>(*given).mlConfiguration().computeUnits,
              ComputeUnits::cpuOnly);
}

TEST_F(StreamingModelVariantFactoryTest, UnifiedVariantsGetTheirGeometryWithTheEightBitEncoder) {
    for (const auto variant :
         {V::parakeetUnified2080ms, V::parakeetUnified1120ms, V::parakeetUnified320ms, V::parakeetUnified640ms}) {
        const auto engine = createManager(variant, std::nullopt);
        const auto* unified = dynamic_cast<const StreamingUnifiedAsrManager*>(engine.get());
        ASSERT_NE(unified, nullptr) << rawValue(variant);
        EXPECT_EQ(unified->config(), unifiedConfig(variant));
        EXPECT_EQ(unified->encoderPrecision(), UnifiedEncoderPrecision::int8);
        EXPECT_EQ(unified->mlConfiguration().computeUnits, ComputeUnits::all);
        EXPECT_EQ(engine->displayName(), displayName(variant));
    }
    const auto given = createManager(V::parakeetUnified320ms, cpuOnly);
    EXPECT_EQ(dynamic_cast<const StreamingUnifiedAsrManager&>(*given).mlConfiguration().computeUnits,
              ComputeUnits::cpuOnly);
}

TEST_F(StreamingModelVariantFactoryTest, TheOfflineVariantIsTheOfflineRecogniserThatDecodesNothingWhileStreaming) {
    const auto engine = createManager(V::parakeetUnifiedOffline15s, cpuOnly);
    const auto* offline = dynamic_cast<const UnifiedAsrManager*>(engine.get());
    ASSERT_NE(offline, nullptr);
    EXPECT_EQ(offline->config(), UnifiedConfig{});
    EXPECT_EQ(offline->encoderPrecision(), UnifiedEncoderPrecision::int8);
    EXPECT_EQ(offline->mlConfiguration().computeUnits, ComputeUnits::cpuOnly);
    EXPECT_EQ(engine->displayName(), "Parakeet Unified 0.6B (offline 15s batch)");
    EXPECT_NO_THROW(engine->processBufferedAudio());
}

} // namespace
} // namespace quorl
