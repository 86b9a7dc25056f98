#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::sys::LogType;
using testsupport::errorText;
using testsupport::ScriptedKernel;
using Lines = std::vector<std::string>;
using Kind = PocketTtsLayerKeys::ModelKind;

// A kernel per model of the packs, recording which bundle each load read with which configuration.
struct Kernels {
    ScriptedKernel conditioner{pocketttspacks::conditionerKernel};
    ScriptedKernel flowlm{pocketttspacks::flowlmKernel};
    ScriptedKernel flowDecoder{pocketttspacks::flowDecoderKernel};
    ScriptedKernel mimiDecoder{pocketttspacks::mimiDecoderKernel};
    ScriptedKernel state{pocketttspacks::stateKernel};
    ScriptedKernel mimiEncoder{
        pocketttspacks::mimiEncoderKernel, [](const ScriptedKernel::Call&) {
            return ScriptedKernel::Outputs{
                {"conditioning", testsupport::makeArray({1, 125, 1024}, std::vector<double>(125 * 1024, 0.5))}};
        }};

    // "<bundle> <units>[ <function>]" for every load, model by model.
    Lines loads() const {
        Lines lines;
        for (const ScriptedKernel* kernel : {&conditioner, &flowlm, &flowDecoder, &mimiDecoder, &state, &mimiEncoder}) {
            for (const auto& load : kernel->loads()) {
                const auto& configuration = load.configuration;
                lines.push_back(load.bundlePath.filename().string() + " " +
                                platform::ml::description(configuration.computeUnits) +
                                (configuration.functionName ? " " + *configuration.functionName : ""));
            }
        }
        return lines;
    }
};

class PocketTtsModelStoreTest : public testing::HubTest {
protected:
    ~PocketTtsModelStoreTest() override { platform::ml::setStatefulModelsSupported(true); }

    // A complete cached English pack of every placement, so that loading asks the hub for nothing.
    void cachePack(std::int64_t layers = 6) {
        pocketttspacks::writeLanguagePack(english, layers);
        pocketttsfixtures::writeFile(english / "constants_bin" / "bos_before_voice.bin",
                                     pocketttsfixtures::floatBytes(std::vector<float>(1024, 1.0F)));
    }

    PocketTtsModelSelection selection(PocketTtsModelPlacement placement,
                                      PocketTtsPrecision precision = PocketTtsPrecision::fp16) const {
        return {
            .language = PocketTtsLanguage::english, .directory = base, .precision = precision, .placement = placement};
    }

    Lines lines(LogType type = LogType::info) const { return sink.messages("PocketTtsModelStore", type); }

    const fs::path base = folder / "cache";
    const fs::path repositoryFolder = base / "Models" / "pocket-tts";
    const fs::path english = repositoryFolder / "v2.1" / "english";
    testsupport::RecordingLogSink sink;
};

TEST_F(PocketTtsModelStoreTest, EachPlacementLoadsItsModelsWithTheirUnits) {
    struct Case {
        const char* name;
        PocketTtsModelPlacement placement;
        PocketTtsPrecision precision;
        Lines loads;
    };
    const std::vector<Case> cases{
        {"gpu fp16",
         PocketTtsModelPlacement::gpu,
         PocketTtsPrecision::fp16,
         {"cond_prefill.mlmodelc all", "flowlm_step.mlmodelc all", "flow_decoder_fused.mlmodelc all",
          "mimi_decoder.mlmodelc cpuOnly"}},
        {"gpu int8",
         PocketTtsModelPlacement::gpu,
         PocketTtsPrecision::int8,
         {"cond_prefill.mlmodelc all", "flowlm_stepv2.mlmodelc all", "flow_decoder_fused.mlmodelc all",
          "mimi_decoder.mlmodelc cpuOnly"}},
        {"ane",
         PocketTtsModelPlacement::ane,
         PocketTtsPrecision::int8,
         {"cond_prefill_ane.mlmodelc all", "flowlm_step_ane.mlmodelc cpuAndNeuralEngine",
          "flow_decoder_fused.mlmodelc all", "mimi_decoder.mlmodelc cpuOnly"}},
        {"ane-state",
         PocketTtsModelPlacement::aneState,
         PocketTtsPrecision::fp16,
         {"mimi_decoder.mlmodelc cpuOnly", "pocket_state.mlmodelc cpuAndNeuralEngine prefill",
          "pocket_state.mlmodelc cpuAndNeuralEngine generate"}},
    };
    cachePack();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Kernels kernels;
        PocketTtsModelStore store(selection(c.placement, c.precision));

        store.loadIfNeeded();

        EXPECT_EQ(kernels.loads(), c.loads);
        EXPECT_EQ(store.mimiDecoderKeys().audioOutput, "audio");
        EXPECT_EQ(store.constants()->bosBeforeVoice->size(), 1024u);
        EXPECT_EQ(store.repoDir(), english);
    }
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(PocketTtsModelStoreTest, TheCacheRoadsServeDiscoveredOrFixedKeys) {
    cachePack();
    const Kernels kernels;
    PocketTtsModelStore gpu(selection(PocketTtsModelPlacement::gpu));
    PocketTtsModelStore ane(selection(PocketTtsModelPlacement::ane));

    gpu.loadIfNeeded();
    ane.loadIfNeeded();

    EXPECT_EQ(gpu.condStepLayerKeys().cacheKeys.front(), "new_cache_1_out");
    EXPECT_EQ(gpu.flowLMStepLayerKeys().transformerOut, "transformer_out");
    EXPECT_EQ(gpu.condPrefillStepLayerKeys(), gpu.condStepLayerKeys());
    EXPECT_EQ(ane.condStepLayerKeys(), PocketTtsLayerKeys::aneKeys(6, Kind::cond));
    EXPECT_EQ(ane.flowLMStepLayerKeys(), PocketTtsLayerKeys::aneKeys(6, Kind::flowlm));
    EXPECT_EQ(gpu.condStep(), gpu.condPrefill());
    EXPECT_TRUE(gpu.hasCondPrefill());
    EXPECT_EQ(gpu.flowDecoder()->configuration().computeUnits, ComputeUnits::all);
    EXPECT_EQ(errorText([&] { gpu.stateModels(); }), "Model PocketTTS state models not loaded not found");
}

TEST_F(PocketTtsModelStoreTest, TheStatefulRoadServesOnlyItsModels) {
    cachePack();
    const Kernels kernels;
    PocketTtsModelStore store(selection(PocketTtsModelPlacement::aneState));

    store.loadIfNeeded();

    EXPECT_FALSE(store.hasCondPrefill());
    EXPECT_EQ(errorText([&] { store.condStep(); }), "Model PocketTTS cond_step model not loaded not found");
    EXPECT_EQ(errorText([&] { store.flowLMStepLayerKeys(); }),
              "Model PocketTTS flowlm_step layer keys not discovered not found");
    EXPECT_EQ(store.stateModels().prefill->configuration().functionName, "prefill");
    EXPECT_EQ(store.stateModels().generate->configuration().functionName, "generate");
    EXPECT_EQ(store.mimiDecoderKeys().stateMapping.size(), 2u);
    EXPECT_EQ(store.mimiDecoder()->configuration().computeUnits, ComputeUnits::cpuOnly);
    EXPECT_EQ(
        lines(),
        (Lines{"Loading PocketTTS CoreML models (language=english, precision=fp16)...",
               "Loaded pocket_state.mlmodelc (functions: prefill, generate; computeUnits=cpuAndNeuralEngine)",
               "Loaded mimi_decoder.mlmodelc (computeUnits=cpuOnly)", lines().at(3), "PocketTTS constants loaded"}));
    EXPECT_TRUE(lines().at(3).starts_with("PocketTTS state-pipeline models loaded in "));
}

TEST_F(PocketTtsModelStoreTest, BeforeLoadingEveryAccessorFailsWithItsText) {
    PocketTtsModelStore store(selection(PocketTtsModelPlacement::gpu));
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { store.condStep(); }, "PocketTTS cond_step model not loaded"},
        {[&] { store.condPrefill(); }, "PocketTTS cond_prefill model not loaded"},
        {[&] { store.flowlmStep(); }, "PocketTTS flowlm_step model not loaded"},
        {[&] { store.flowDecoder(); }, "PocketTTS flow_decoder model not loaded"},
        {[&] { store.mimiDecoder(); }, "PocketTTS mimi_decoder model not loaded"},
        {[&] { store.constants(); }, "PocketTTS constants not loaded"},
        {[&] { store.stateModels(); }, "PocketTTS state models not loaded"},
        {[&] { store.condStepLayerKeys(); }, "PocketTTS cond_step layer keys not discovered"},
        {[&] { store.flowLMStepLayerKeys(); }, "PocketTTS flowlm_step layer keys not discovered"},
        {[&] { store.mimiDecoderKeys(); }, "PocketTTS mimi_decoder keys not discovered"},
        {[&] { store.repoDir(); }, "PocketTTS repository not loaded"},
        {[&] { store.voiceData("alba"); }, "PocketTTS repository not loaded"},
        {[&] { store.mimiEncoder(); }, "Mimi encoder not loaded. Call loadMimiEncoderIfNeeded() first."},
        {[&] { store.cloneVoice(std::vector<float>(24000)); },
         "Mimi encoder not loaded. Call loadMimiEncoderIfNeeded() first."},
    };
    for (const auto& [operation, payload] : cases) {
        EXPECT_EQ(errorText(operation), "Model " + payload + " not found");
    }
    EXPECT_FALSE(store.hasCondPrefill());
    EXPECT_FALSE(store.condPrefillStepLayerKeys());
    EXPECT_FALSE(store.isMimiEncoderAvailable());
}

TEST_F(PocketTtsModelStoreTest, APackFetchedFromTheHubIsLoadedOnce) {
    pocketttspacks::writeLanguagePack(folder / "upstream");
    pocketttspacks::publish(hub, folder / "upstream", "v2.1/english/");
    const Kernels kernels;
    PocketTtsModelStore store(selection(PocketTtsModelPlacement::gpu, PocketTtsPrecision::int8));

    store.loadIfNeeded();
    const auto requests = hub.requests().size();
    store.loadIfNeeded();

    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(kernels.loads().size(), 4u);
    EXPECT_FALSE(fs::exists(english / "flowlm_step.mlmodelc"));
    const auto info = lines();
    ASSERT_EQ(info.size(), 7u);
    EXPECT_EQ(info[0], "Loading PocketTTS CoreML models (language=english, precision=int8)...");
    EXPECT_EQ(info[2], "Loaded flowlm_stepv2.mlmodelc (computeUnits=2)");
    EXPECT_EQ(info[4], "Loaded mimi_decoder.mlmodelc (computeUnits=0)");
    EXPECT_TRUE(info[5].starts_with("All PocketTTS models loaded in ")) << info[5];
    EXPECT_EQ(info[6], "PocketTTS constants loaded");
}

TEST_F(PocketTtsModelStoreTest, AFailedLoadLeavesTheStoreUnloadedAndTheNextCallRetries) {
    struct Case {
        const char* name;
        PocketTtsLanguage language;
        PocketTtsModelPlacement placement;
        std::function<void()> breakIt;
        std::function<void()> mendIt;
        std::string failure;
        std::function<std::string(const PocketTtsModelStore&)> served;
    };
    const auto root24 = repositoryFolder / "v2.1" / "german_24l";
    const std::vector<Case> cases{
        {"constants", PocketTtsLanguage::english, PocketTtsModelPlacement::gpu,
         [&] { fs::remove(english / "constants_bin" / "tokenizer.model"); },
         [&] { pocketttspacks::writeConstants(english); }, "File not found: tokenizer.model",
         [](const PocketTtsModelStore& store) { return store.condStepLayerKeys().cacheKeys.front(); }},
        {"key discovery", PocketTtsLanguage::german24L, PocketTtsModelPlacement::gpu,
         [&] {
             pocketttspacks::writeLanguagePack(root24);
             pocketttsfixtures::writeFile(root24 / "constants_bin" / "bos_before_voice.bin", std::string(4096, '\0'));
         },
         [&] { pocketttspacks::writeLanguagePack(root24, 24); },
         "PocketTTS layer-key discovery on cond_prefill: expected 24 cache outputs, found 6",
         [](const PocketTtsModelStore& store) { return store.condStepLayerKeys().cacheKeys.back(); }},
        {"stateful models unsupported", PocketTtsLanguage::english, PocketTtsModelPlacement::aneState,
         [] { platform::ml::setStatefulModelsSupported(false); },
         [] { platform::ml::setStatefulModelsSupported(true); },
         "Processing failed: PocketTTS `.aneState` placement requires macOS 15+/iOS 18+ (MLState and multifunction "
         "CoreML models).",
         [](const PocketTtsModelStore& store) {
             return store.stateModels().prefill->configuration().functionName.value();
         }},
    };
    cachePack();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Kernels kernels;
        PocketTtsModelStore store(
            {.language = c.language, .directory = base, .precision = {}, .placement = c.placement});
        c.breakIt();

        EXPECT_EQ(errorText([&] { store.loadIfNeeded(); }), c.failure);
        EXPECT_EQ(errorText([&] { store.mimiDecoder(); }), "Model PocketTTS mimi_decoder model not loaded not found");
        EXPECT_EQ(errorText([&] { store.constants(); }), "Model PocketTTS constants not loaded not found");

        c.mendIt();
        store.loadIfNeeded();
        EXPECT_FALSE(c.served(store).empty());
        EXPECT_NE(store.constants(), nullptr);
    }
}

TEST_F(PocketTtsModelStoreTest, VoicesAreReadOnceForEachNameAsGiven) {
    cachePack();
    pocketttsfixtures::writeFile(english / "constants_bin" / "alba.safetensors", pocketttspacks::voiceFile());
    const Kernels kernels;
    PocketTtsModelStore store(selection(PocketTtsModelPlacement::gpu));
    store.loadIfNeeded();

    const auto first = store.voiceData("alba");
    EXPECT_EQ(store.voiceData("alba"), first);
    EXPECT_NE(store.voiceData("al-ba"), first);
    EXPECT_EQ(store.voiceData("al-ba")->cacheSnapshot->layers.size(), 6u);

    const Lines reads = sink.messages("PocketTtsConstantsLoader", LogType::info);
    EXPECT_EQ(
        std::count(reads.begin(), reads.end(), "Loaded PocketTTS voice 'alba' from safetensors (6 layers, seq=4)"), 2);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(PocketTtsModelStoreTest, VoicesAreClonedWithTheEncoderFetchedOnDemand) {
    cachePack();
    pocketttspacks::writeMimiEncoder(folder / "upstream");
    pocketttspacks::publish(hub, folder / "upstream", "");
    const Kernels kernels;
    PocketTtsModelStore store(selection(PocketTtsModelPlacement::gpu));
    store.loadIfNeeded();
    EXPECT_FALSE(store.isMimiEncoderAvailable());

    store.loadMimiEncoderIfNeeded();
    store.loadMimiEncoderIfNeeded();

    EXPECT_TRUE(store.isMimiEncoderAvailable());
    EXPECT_EQ(kernels.mimiEncoder.loads().size(), 1u);
    EXPECT_EQ(kernels.mimiEncoder.loads().front().configuration.computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_EQ(store.cloneVoice(std::vector<float>(24000, 0.1F)).promptLength, 13);
    EXPECT_EQ(kernels.mimiEncoder.calls().size(), 1u);
}

} // namespace
} // namespace quorl
