#include "QuorlAudio/asr/other/ParaformerModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/other/ModelFolder.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>
#include <string>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::ParaformerZh;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;

std::string_view encoderName(ParaformerPrecision precision) {
    return precision == ParaformerPrecision::int8 ? names::encoderInt8 : names::encoder;
}

std::string_view decoderName(ParaformerPrecision precision) {
    return precision == ParaformerPrecision::int8 ? names::decoderInt8 : names::decoder;
}

std::shared_ptr<platform::ml::Model> loadModel(std::string_view named, const fs::path& from,
                                               const ModelConfiguration& configuration) {
    return loadFolderModel("Paraformer", named, from, configuration);
}

} // namespace

const AppLogger& ParaformerModels::logger() {
    static const AppLogger instance("ParaformerModels");
    return instance;
}

fs::path ParaformerModels::download(const DownloadRequest& request, const ProgressHandler& progressHandler) {
    const auto [precision, force] = request;
    const fs::path root = modelsRootDirectory();
    const fs::path folder = root / folderName(Repo::paraformerLargeZh);
    if (force) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    } else if (modelsExist(folder, precision)) {
        logger().info(concatenated({"Paraformer models already present at: ", folder.string()}));
        return folder;
    }
    logger().info("Downloading Paraformer models from HuggingFace...");
    ModelHub::shared().download({.repo = Repo::paraformerLargeZh, .to = root}, progressHandler);
    logger().info("Successfully downloaded Paraformer models");
    return folder;
}

ParaformerModels ParaformerModels::load(const fs::path& from, ParaformerPrecision precision) {
    const ModelConfiguration cpuOnly{.computeUnits = ComputeUnits::cpuOnly, .functionName = std::nullopt};
    const ModelConfiguration neuralEngine{.computeUnits = ComputeUnits::cpuAndNeuralEngine,
                                          .functionName = std::nullopt};
    ParaformerModels models{
        .preprocessor = loadModel(names::preprocessor, from, cpuOnly),
        .encoder = loadModel(encoderName(precision), from, neuralEngine),
        .cifAlphas = loadModel(names::cifAlphas, from, neuralEngine),
        .decoder = loadModel(decoderName(precision), from, neuralEngine),
        .vocabulary = loadVocabulary(from),
    };
    logger().info(concatenated({"Loaded Paraformer (encoder/decoder: ", rawValue(precision),
                                ", vocab: ", std::to_string(models.vocabulary.size()), ")"}));
    return models;
}

ParaformerModels ParaformerModels::downloadAndLoad(ParaformerPrecision precision,
                                                   const ProgressHandler& progressHandler) {
    return load(download({.precision = precision}, progressHandler), precision);
}

bool ParaformerModels::modelsExist(const fs::path& at, ParaformerPrecision precision) {
    const std::array<std::string_view, 4> models{names::preprocessor, encoderName(precision), names::cifAlphas,
                                                 decoderName(precision)};
    for (const auto model : models) {
        if (!compiledModelExists(at, model)) {
            return false;
        }
    }
    return platform::sys::isPresent(at / std::string(names::vocabularyFile));
}

TokenVocabulary ParaformerModels::loadVocabulary(const fs::path& from) {
    const std::string contents = platform::sys::wholeFile(from / std::string(names::vocabularyFile));
    const auto document = nlohmann::json::parse(contents, nullptr, false);
    auto vocabulary = tokenVocabulary(document);
    if (!vocabulary) {
        throw ASRError::processingFailed("Failed to parse vocab.json (expected array or dict)");
    }
    return std::move(*vocabulary);
}

} // namespace quorl
