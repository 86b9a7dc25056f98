#include "tests/QuorlAudio/tts/pockettts/PocketTtsScriptedPack.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsCacheModels.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsStateModel.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <chrono>
#include <thread>
#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

using testsupport::makeArray;
using testsupport::ScriptedKernel;

// The store loads six-layer flow models.
constexpr std::int64_t layers = 6;

ScriptedKernel::Outputs flowDecoderOutputs(const ScriptedKernel::Call& call) {
    const auto transformer = valuesOf(call, "transformer_out");
    auto latent = valuesOf(call, "latent_init");
    for (double& value : latent) {
        value += transformer.front();
    }
    return {{"latent", makeArray({1, 32}, latent)}};
}

ScriptedKernel::Outputs mimiOutputs(const ScriptedKernel::Call& call) {
    const double decoded = valuesOf(call, "attn0_offset").front();
    const double first = valuesOf(call, "latent").front();
    return {{"audio", makeArray({1, 1, 1920}, std::vector<double>(1920, first + decoded))},
            {"upsample_partial", call.inputs.at("upsample_partial")},
            {"var_7", makeArray({1}, {decoded + 1})}};
}

void writeEnglishPack(const std::filesystem::path& english) {
    pocketttspacks::writeLanguagePack(english, layers);
    const auto constants = english / "constants_bin";
    pocketttsfixtures::writeFile(constants / "bos_before_voice.bin",
                                 pocketttsfixtures::floatBytes(std::vector<float>(1024, 1.0F)));
    pocketttsfixtures::writeFile(constants / "text_embed_table.bin",
                                 pocketttsfixtures::floatBytes(std::vector<float>(128 * 1024, 0.25F)));
    std::vector<std::pair<std::string, float>> pieces{{"\u2581", -1.0F}};
    for (char character = '!'; character <= '~'; ++character) {
        pieces.emplace_back(std::string(1, character), -1.0F);
    }
    pocketttsfixtures::writeFile(constants / "tokenizer.model", pocketttsfixtures::modelBytes(pieces));
    pocketttsfixtures::writeFile(constants / "alba.safetensors",
                                 pocketttsfixtures::safetensorsFile(pocketttsfixtures::voiceTensors(layers, 4)));
}

} // namespace

std::vector<double> valuesOf(const ScriptedKernel::Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

PocketTtsScriptedPackTest::PocketTtsScriptedPackTest(PocketTtsModelPlacement placement)
    : conditioner(pocketttspacks::conditionerKernel,
                  [this](const ScriptedKernel::Call& call) {
                      return pocketttscache::cacheOutputs(call, condKeys, pocketttscache::tokensOf(call));
                  }),
      flowlm(pocketttspacks::flowlmKernel, [this](const ScriptedKernel::Call& call) { return flowlmOutputs(call); }),
      flowDecoder(pocketttspacks::flowDecoderKernel, flowDecoderOutputs),
      mimiDecoder(pocketttspacks::mimiDecoderKernel, mimiOutputs),
      state(pocketttspacks::stateKernel, [this](const ScriptedKernel::Call& call) { return stateOutputs(call); }),
      store(std::make_shared<PocketTtsModelStore>(PocketTtsModelSelection{.language = PocketTtsLanguage::english,
                                                                          .directory = folder / "cache",
                                                                          .precision = PocketTtsPrecision::fp16,
                                                                          .placement = placement})) {
    writeEnglishPack(english);
    store->loadIfNeeded();
    if (placement != PocketTtsModelPlacement::aneState) {
        condKeys = store->condStepLayerKeys();
        flowKeys = store->flowLMStepLayerKeys();
    }
}

PocketTtsScriptedPackTest::~PocketTtsScriptedPackTest() { EXPECT_TRUE(tracedGenerationsEnded()); }

std::shared_ptr<const PocketTtsVoiceData> PocketTtsScriptedPackTest::trackedVoice(const std::string& name) {
    auto copy = std::make_shared<const PocketTtsVoiceData>(*store->voiceData(name));
    voices.push_back(copy);
    return copy;
}

bool PocketTtsScriptedPackTest::tracedGenerationsEnded() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (const auto& voice : voices) {
        while (!voice.expired() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!voice.expired()) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> PocketTtsScriptedPackTest::lines(const std::string& category,
                                                          platform::sys::LogType type) const {
    return sink.messages(category, type);
}

ScriptedKernel::Outputs PocketTtsScriptedPackTest::edited(std::size_t index, ScriptedKernel::Outputs outputs) const {
    if (edit) {
        edit(index, outputs);
    }
    return outputs;
}

ScriptedKernel::Outputs PocketTtsScriptedPackTest::flowlmOutputs(const ScriptedKernel::Call& call) {
    if (gate) {
        gate(call.index);
    }
    auto outputs = pocketttscache::cacheOutputs(call, flowKeys, 1);
    const double position = valuesOf(call, "position0").front();
    outputs.insert_or_assign("transformer_out", makeArray({1, 1, 1024}, std::vector<double>(1024, position)));
    outputs.insert_or_assign("eos_logit", makeArray({1, 1, 1}, {logit(call.index)}));
    return edited(call.index, std::move(outputs));
}

ScriptedKernel::Outputs PocketTtsScriptedPackTest::stateOutputs(const ScriptedKernel::Call& call) {
    if (call.configuration.functionName == ModelNames::PocketTTS::StateFunction::prefill) {
        return pocketttsstate::prefillOutputs(call, true);
    }
    const auto index = frameCalls_++;
    if (gate) {
        gate(index);
    }
    return edited(index, pocketttsstate::generateOutputs(call, logit(index)));
}

} // namespace quorl::PocketTtsSynthesizer
