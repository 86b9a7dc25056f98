#include "QuorlAudio/diarization/streaming/LSEENDModel.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/CompileModel.hpp"
#include "platform/ml/MessageText.hpp"

#include <string>

namespace quorl {
namespace {

namespace fs = std::filesystem;

const AppLogger& logger() {
    static const AppLogger instance("LS-EEND Model");
    return instance;
}

std::shared_ptr<platform::ml::Model> loadModel(const fs::path& modelURL, platform::ml::ComputeUnits computeUnits) {
    const fs::path compiled = modelURL.extension() == ".mlpackage" ? platform::ml::compileModel(modelURL) : modelURL;
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = computeUnits;
    return platform::ml::Model::load(compiled, configuration);
}

LSEENDMetadata metadataOf(const platform::ml::Model& model) {
    const auto& metadata = model.description().creatorDefinedMetadata;
    const auto config = metadata.find("config");
    if (config == metadata.end()) {
        throw LSEENDError::initializationFailed("No `config` found in model metadata");
    }
    return LSEENDMetadata::decode(nlohmann::json::parse(config->second));
}

} // namespace

LSEENDModel::LSEENDModel(const fs::path& modelURL, platform::ml::ComputeUnits computeUnits)
    : model_(loadModel(modelURL, computeUnits)), metadata_(metadataOf(*model_)) {}

std::shared_ptr<LSEENDModel> LSEENDModel::loadFromHuggingFace(const HubRequest& request) {
    const fs::path base =
        request.cacheDirectory ? *request.cacheDirectory : MLModelConfigurationUtils::defaultModelsDirectory();
    fs::create_directories(base);
    const Repo repo = ModelNames::LSEEND::repo(request.variant);
    const fs::path repositoryFolder = base / folderName(repo);
    const std::string bundleName = ModelNames::LSEEND::fileName(request.variant, request.stepSize);
    const auto sub = subPath(repo);
    const std::string hubPath = sub && !sub->empty() ? *sub + "/" + bundleName : bundleName;
    const fs::path modelPath = repositoryFolder / hubPath;
    if (!fs::exists(modelPath)) {
        logger().info("Models not found in cache at " + modelPath.string() + "; downloading " + hubPath + "\u2026");
        ModelHub::shared().download(repo, hubPath, repositoryFolder, request.progressHandler);
    }
    if (!fs::exists(modelPath)) {
        throw LSEENDError::initializationFailed("HF download completed but mlmodelc missing at " + modelPath.string() +
                                                ". Expected HF path: " + bundleName);
    }
    return std::make_shared<LSEENDModel>(modelPath, request.computeUnits);
}

std::vector<float> LSEENDModel::predict(LSEENDInput& input) const {
    std::lock_guard lock(mutex_);
    model_->predict(input, input.predictionOptions());
    return validFrames(*input.outputProbs(), input.warmupFrames(), metadata_.chunkSize, metadata_.maxSpeakers);
}

std::vector<float> LSEENDModel::validFrames(const platform::ml::MultiArray& probs, int warmupFrames, int chunkSize,
                                            int speakers) {
    const int valid = chunkSize - warmupFrames;
    if (valid < 1 || speakers < 1) {
        return {};
    }
    const auto& strides = probs.strides();
    if (strides.empty() || strides.back() != 1) {
        throw LSEENDError::inferenceFailed("Probs innermost stride must be 1. CoreML model produced strides: " +
                                           platform::ml::shapeText(strides) + ".");
    }
    const std::size_t frameStride = strides.size() > 1 ? strides[1] : strides[0];
    const auto columns = static_cast<std::size_t>(speakers);
    std::vector<float> frames(static_cast<std::size_t>(valid) * columns);
    platform::dsp::matrixMove(probs.data<float>() + static_cast<std::size_t>(warmupFrames) * frameStride, frameStride,
                              frames.data(), columns, static_cast<std::size_t>(valid), columns);
    return frames;
}

} // namespace quorl
