#include "QuorlAudio/asr/other/CohereLoadedModels.hpp"

#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>

namespace quorl {
namespace {

namespace names = ModelNames::CohereTranscribe;
using platform::core::concatenated;

const AppLogger& logger() {
    static const AppLogger instance("CoherePipeline");
    return instance;
}

std::shared_ptr<platform::ml::Model> loadLogged(const char* role, const std::filesystem::path& path,
                                                const platform::ml::ModelConfiguration& configuration) {
    logger().info(concatenated({"Loading ", role, " from ", path.string()}));
    return platform::ml::Model::load(path, configuration);
}

} // namespace

CohereLoadedModels CohereLoadedModels::loadModels(const LoadRequest& request) {
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = request.computeUnits;
    const auto encoderPath = request.encoderDir / std::string(names::encoderCompiledFile);
    const auto decoderPath = request.decoderDir / std::string(compiledFileName(request.decoderVariant));
    if (!platform::sys::isPresent(decoderPath)) {
        throw CohereAsrError::modelNotFound(concatenated(
            {"Decoder not found at ", decoderPath.string(), " (variant: ", rawValue(request.decoderVariant), ")."}));
    }
    auto encoder = loadLogged("encoder", encoderPath, configuration);
    auto decoder = loadLogged("decoder", decoderPath, configuration);
    if (!decoder->description().inputDescriptionsByName.contains("k_cache_0")) {
        throw CohereAsrError::decodingFailed(
            concatenated({"Decoder at ", decoderPath.string(), " is not cache-external (missing k_cache_0)."}));
    }
    return {.encoder = std::move(encoder),
            .decoder = std::move(decoder),
            .vocabulary = loadVocabulary(request.vocabDir),
            .decoderVariant = request.decoderVariant};
}

TokenVocabulary CohereLoadedModels::loadVocabulary(const std::filesystem::path& vocabDir) {
    const auto document = nlohmann::json::parse(platform::sys::wholeFile(vocabDir / std::string(names::vocab)));
    auto vocabulary = document.is_object() ? tokenVocabulary(document) : std::nullopt;
    if (!vocabulary) {
        throw CohereAsrError::modelNotFound("Invalid vocab.json format");
    }
    logger().info(concatenated({"Loaded vocabulary with ", std::to_string(vocabulary->size()), " tokens"}));
    return std::move(*vocabulary);
}

} // namespace quorl
