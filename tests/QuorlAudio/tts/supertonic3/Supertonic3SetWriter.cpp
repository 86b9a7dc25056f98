#include "tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Config.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <numeric>
#include <vector>

namespace testsupport {
namespace {

namespace fs = std::filesystem;
namespace names = quorl::ModelNames::Supertonic3;
namespace constants = quorl::Supertonic3Constants;
using platform::ml::DataType;
using Json = nlohmann::json;

constexpr std::size_t text = constants::textTFixed;
constexpr std::size_t channels = constants::latentDim * constants::chunkCompressFactor;
constexpr std::size_t indexedScalars = 0x1200;

const Json textIds = multiArrayFeature("text_ids", {1, text}, DataType::int32);
const Json textMask = multiArrayFeature("text_mask", {1, 1, text});
const Json styleTtl = multiArrayFeature("style_ttl", {1, constants::ttlStyleTokens, constants::ttlStyleDim});
const Json styleDp = multiArrayFeature("style_dp", {1, constants::dpStyleTokens, constants::dpStyleDim});
const Json textEmb = multiArrayFeature("text_emb", {1, constants::textEmbDim, text});

// A latent length of 0 is free.
Json estimatorManifest(const std::string& kernel, std::size_t latentLength) {
    return modelManifest(kernel,
                         {flexibleFeature("noisy_latent", {1, channels, latentLength}), textEmb, styleTtl,
                          flexibleFeature("latent_mask", {1, 1, latentLength}), textMask,
                          multiArrayFeature("current_step", {1}), multiArrayFeature("total_step", {1})},
                         {flexibleFeature("denoised_latent", {1, channels, latentLength})});
}

void writeEstimators(const fs::path& repoDir, const std::string& kernel,
                     const quorl::Supertonic3VectorEstimator& estimator) {
    const auto quantization = estimator.quantization();
    if (estimator.kind() != quorl::Supertonic3VectorEstimator::Kind::aneBucketed) {
        const auto suffix = quantization ? std::optional(std::string(rawValue(*quantization))) : std::nullopt;
        writeModelBundle(repoDir, names::vectorEstimatorFile(suffix), estimatorManifest(kernel, 0));
        return;
    }
    for (const int bucket : names::aneBuckets) {
        writeModelBundle(repoDir, names::vectorEstimatorFile(std::string(rawValue(*quantization)), bucket),
                         estimatorManifest(kernel, static_cast<std::size_t>(bucket)));
    }
}

} // namespace

void writeSupertonic3Set(const fs::path& repoDir, const Supertonic3KernelNames& kernels,
                         const quorl::Supertonic3VectorEstimator& estimator) {
    writeModelBundle(
        repoDir, std::string(names::durationPredictorFile),
        modelManifest(kernels.durationPredictor, {textIds, textMask, styleDp}, {multiArrayFeature("duration", {1})}));
    writeModelBundle(repoDir, std::string(names::textEncoderFile),
                     modelManifest(kernels.textEncoder, {textIds, textMask, styleTtl}, {textEmb}));
    writeModelBundle(repoDir, std::string(names::vocoderFile),
                     modelManifest(kernels.vocoder, {flexibleFeature("latent", {1, channels, 0})},
                                   {flexibleFeature("wav", {1, 0})}));
    writeEstimators(repoDir, kernels.vectorEstimator, estimator);
    std::ofstream(repoDir / names::configFile) << Json(quorl::Supertonic3Config::defaults()).dump();
    std::vector<std::int64_t> indexer(indexedScalars);
    std::iota(indexer.begin(), indexer.end(), 0);
    std::ofstream(repoDir / names::unicodeIndexerFile) << Json(indexer).dump();
}

quorl::Supertonic3VoiceStyle supertonic3Style(float value) {
    return {.name = "test",
            .ttlValues = std::vector<float>(constants::ttlStyleTokens * constants::ttlStyleDim, value),
            .ttlDims = {1, constants::ttlStyleTokens, constants::ttlStyleDim},
            .dpValues = std::vector<float>(constants::dpStyleTokens * constants::dpStyleDim, value),
            .dpDims = {1, constants::dpStyleTokens, constants::dpStyleDim}};
}

std::string supertonic3StyleDocument(float value) {
    const auto component = [&](std::size_t rows, std::size_t columns) {
        return Json{{"data", {std::vector<std::vector<float>>(rows, std::vector<float>(columns, value))}},
                    {"dims", {1, rows, columns}},
                    {"type", "float32"}};
    };
    return Json{{"style_ttl", component(constants::ttlStyleTokens, constants::ttlStyleDim)},
                {"style_dp", component(constants::dpStyleTokens, constants::dpStyleDim)}}
        .dump();
}

} // namespace testsupport
