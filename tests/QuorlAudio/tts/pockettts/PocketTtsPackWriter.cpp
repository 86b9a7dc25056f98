#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsStateModel.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <nlohmann/json.hpp>

#include <string_view>
#include <vector>

namespace pocketttspacks {
namespace {

namespace fs = std::filesystem;
namespace names = quorl::ModelNames::PocketTTS;
using nlohmann::json;
using testsupport::multiArrayFeature;
using Features = std::vector<json>;

// Cache outputs numbered as the converter numbers key/value pairs, and one position per layer.
Features layerOutputs(std::int64_t layers) {
    Features outputs;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        outputs.push_back(
            multiArrayFeature("new_cache_" + std::to_string(2 * layer + 1) + "_out", {2, 1, 512, 16, 64}));
        outputs.push_back(multiArrayFeature("position_" + std::to_string(layer), {1}));
    }
    return outputs;
}

json conditioner(std::int64_t layers) {
    // One token from the step road, up to 256 from the prefill road.
    return testsupport::modelManifest(conditionerKernel, {testsupport::flexibleFeature("conditioning", {1, 0, 1024})},
                                      layerOutputs(layers));
}

json flowlm(std::int64_t layers) {
    auto outputs = layerOutputs(layers);
    outputs.push_back(multiArrayFeature("transformer_out", {1, 1, 1024}));
    outputs.push_back(multiArrayFeature("eos_logit", {1, 1, 1}));
    return testsupport::modelManifest(flowlmKernel, {multiArrayFeature("sequence", {1, 1, 32})}, outputs);
}

json flowDecoder() {
    return testsupport::modelManifest(flowDecoderKernel, {multiArrayFeature("transformer_out", {1, 1024})},
                                      {multiArrayFeature("latent", {1, 32})});
}

// One state named after its input, one matched by shape.
json mimiDecoder() {
    return testsupport::modelManifest(
        mimiDecoderKernel,
        {multiArrayFeature("latent", {1, 32}), multiArrayFeature("upsample_partial", {1, 512, 16}),
         multiArrayFeature("attn0_offset", {1})},
        {multiArrayFeature("audio", {1, 1, 1920}), multiArrayFeature("upsample_partial", {1, 512, 16}),
         multiArrayFeature("var_7", {1})});
}

void writeBundle(const fs::path& languageRoot, std::string_view file, const json& manifest) {
    testsupport::writeModelBundle(languageRoot, std::string(file), manifest);
}

void writeBundleFor(const fs::path& languageRoot, const std::string& entry, std::int64_t layers) {
    if (entry == names::constantsBinDir) {
        writeConstants(languageRoot);
    } else if (entry == names::condPrefillFile || entry == names::condPrefillAneFile) {
        writeBundle(languageRoot, entry, conditioner(layers));
    } else if (entry.starts_with(names::flowlmStep)) {
        writeBundle(languageRoot, entry, flowlm(layers));
    } else if (entry == names::flowDecoderFusedFile) {
        writeBundle(languageRoot, entry, flowDecoder());
    } else if (entry == names::mimiDecoderFile) {
        writeBundle(languageRoot, entry, mimiDecoder());
    } else if (entry == names::pocketStateFile) {
        writeBundle(languageRoot, entry, pocketttsstate::stateManifest(stateKernel, {.layers = layers}));
    }
}

} // namespace

void writeLanguagePack(const fs::path& languageRoot, std::int64_t layers) {
    for (const std::string_view entry :
         {names::condPrefillFile, names::condPrefillAneFile, names::flowlmStepFile(quorl::PocketTtsPrecision::fp16),
          names::flowlmStepV2File, names::flowlmStepAneFile, names::flowDecoderFusedFile, names::mimiDecoderFile,
          names::pocketStateFile, names::constantsBinDir}) {
        writeBundleFor(languageRoot, std::string(entry), layers);
    }
}

void writeRequiredSet(const fs::path& languageRoot, quorl::PocketTtsPrecision precision,
                      quorl::PocketTtsModelPlacement placement) {
    for (const auto& entry : names::requiredModels(precision, placement)) {
        writeBundleFor(languageRoot, entry, 6);
    }
}

void writeConstants(const fs::path& languageRoot) {
    const auto folder = languageRoot / names::constantsBinDir;
    pocketttsfixtures::writeFile(folder / "bos_emb.bin", pocketttsfixtures::floatBytes(std::vector<float>(32, 0.5F)));
    pocketttsfixtures::writeFile(folder / "text_embed_table.bin",
                                 pocketttsfixtures::floatBytes(std::vector<float>(2 * 1024, 0.25F)));
    pocketttsfixtures::writeFile(folder / "tokenizer.model", pocketttsfixtures::modelBytes({{"\u2581", -1.0F}}));
}

void writeMimiEncoder(const fs::path& folder, std::size_t frames, platform::ml::DataType dataType) {
    testsupport::writeModelBundle(
        folder, std::string(names::mimiEncoderFile),
        testsupport::modelManifest(mimiEncoderKernel, {multiArrayFeature("audio", {1, 1, 240000})},
                                   {multiArrayFeature("conditioning", {1, frames, 1024}, dataType)}));
}

std::string voiceFile() { return pocketttsfixtures::safetensorsFile(pocketttsfixtures::voiceTensors(6, 4)); }

void publish(testsupport::LoopbackHub& hub, const fs::path& folder, const std::string& prefix) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            hub.putFile(repository, prefix + fs::relative(entry.path(), folder).generic_string(),
                        testsupport::fileContents(entry.path()));
        }
    }
}

} // namespace pocketttspacks
