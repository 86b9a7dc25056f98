#include "QuorlAudio/asr/multilingual/NemotronMultilingualSharedPreloader.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualModelBundles.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "platform/ml/CompileModel.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "platform/sys/FileRemoval.hpp"
#include "platform/sys/PathPresence.hpp"

#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;

std::string compiledName(const std::string& stem) { return stem + ".mlmodelc"; }
std::string packageName(const std::string& stem) { return stem + ".mlpackage"; }

bool hasState(const platform::ml::Model& encoder) {
    return platform::ml::statefulModelsSupported() && !encoder.description().stateDescriptionsByName.empty();
}

bool hasFusedModel(const SharedNemotronMultilingualModels& set) {
    return set.decoderJoint || set.decoderJointArgmax || set.decoderJointNoEncProj;
}

} // namespace

SharedNemotronMultilingualModels
NemotronMultilingualSharedPreloader::preload(const fs::path& directory,
                                             const std::optional<platform::ml::ModelConfiguration>& configuration) {
    return NemotronMultilingualSharedPreloader(directory, configuration
                                                              ? *configuration
                                                              : MLModelConfigurationUtils::defaultConfiguration(
                                                                    platform::ml::ComputeUnits::cpuAndNeuralEngine))
        .run();
}

NemotronMultilingualSharedPreloader::NemotronMultilingualSharedPreloader(fs::path directory,
                                                                         platform::ml::ModelConfiguration configuration)
    : logger_("NemotronMultilingualStreaming"), directory_(std::move(directory)),
      configuration_(std::move(configuration)) {}

SharedNemotronMultilingualModels NemotronMultilingualSharedPreloader::run() {
    logger_.info("Preloading shared Nemotron multilingual models from " + directory_.string() + "...");
    const fs::path metadata = directory_ / "metadata.json";
    if (!platform::sys::isPresent(metadata)) {
        throw ASRError::processingFailed("metadata.json not found at " + metadata.string() + ".");
    }
    SharedNemotronMultilingualModels set;
    set.config = NemotronMultilingualStreamingConfig::read(metadata);
    set.mlConfiguration = configuration_;
    logger_.info("Loaded multilingual config: " + std::to_string(set.config.chunkMs) + "ms chunks, vocab=" +
                 std::to_string(set.config.vocabSize) + ", " + std::to_string(set.config.numPrompts) + " prompts");
    set.encoder = loadShared("encoder.mlmodelc", "encoder.mlpackage", configuration_);
    set.encoderIsStateful = hasState(*set.encoder);
    if (set.encoderIsStateful) {
        logger_.info("Encoder has MLState \u2014 per-stream state will be allocated on consumer init");
    }
    loadDecoderSide(set);
    checkDecodePath(set);
    set.tokenizer = std::make_shared<const NemotronMultilingualTokenizer>(directory_ / "tokenizer.json",
                                                                          set.config.langTagTokenIds);
    logger_.info("Shared models preload complete \u2014 ready for N consumers");
    return set;
}

// Only the most fused decoder-joint model is loaded: argmax, then the one fed projected frames, then merged.
void NemotronMultilingualSharedPreloader::loadDecoderSide(SharedNemotronMultilingualModels& set) const {
    set.decoder = loadOptional("decoder", configuration_);
    set.joint = loadOptional("joint", configuration_);
    set.decoderJointArgmax = loadOptional("decoder_joint_argmax", configuration_);
    if (!set.decoderJointArgmax) {
        set.decoderJointNoEncProj = loadOptional("decoder_joint_noencproj", configuration_);
    }
    if (!set.decoderJointArgmax && !set.decoderJointNoEncProj) {
        set.decoderJoint = loadOptional("decoder_joint", configuration_);
    }
    const auto batchedConfiguration =
        NemotronMultilingualModelBundles::computeUnitOverride("QUORLAUDIO_JOINT_BATCHED_CU", configuration_, logger_);
    set.jointNoEncProjBatched = loadOptional("joint_noencproj_batched", batchedConfiguration);
}

void NemotronMultilingualSharedPreloader::checkDecodePath(const SharedNemotronMultilingualModels& set) const {
    const bool barePair = set.decoder && set.joint;
    if (!hasFusedModel(set) && !barePair) {
        throw ASRError::processingFailed("No decode path in " + directory_.string() +
                                         ": provide a fused decoder_joint (B1/B3) "
                                         "or both bare decoder.mlmodelc + joint.mlmodelc.");
    }
    if (set.jointNoEncProjBatched && !barePair) {
        throw ASRError::processingFailed(
            "Smart-spec asset joint_noencproj_batched present but bare decoder/joint missing \u2014 K=4 needs "
            "both. Either add them or remove the smart-spec asset.");
    }
    if (!set.jointNoEncProjBatched && !set.decoder && !set.joint) {
        logger_.info("Lean B1 ship: bare decoder/joint omitted; using fused decode path only.");
    }
}

std::shared_ptr<platform::ml::Model>
NemotronMultilingualSharedPreloader::loadShared(const std::string& compiledName, const std::string& packageName,
                                                const platform::ml::ModelConfiguration& configuration) const {
    if (platform::sys::isPresent(directory_ / compiledName)) {
        return platform::ml::Model::load(directory_ / compiledName, configuration);
    }
    if (platform::sys::isPresent(directory_ / packageName)) {
        return loadCompiledPackage(directory_ / packageName, configuration);
    }
    throw ASRError::processingFailed("Neither " + compiledName + " nor " + packageName + " found in " +
                                     directory_.string());
}

std::shared_ptr<platform::ml::Model>
NemotronMultilingualSharedPreloader::loadOptional(const std::string& stem,
                                                  const platform::ml::ModelConfiguration& configuration) const {
    if (platform::sys::isPresent(directory_ / compiledName(stem))) {
        auto model = platform::ml::Model::load(directory_ / compiledName(stem), configuration);
        logger_.info("Loaded shared " + compiledName(stem));
        return model;
    }
    if (platform::sys::isPresent(directory_ / packageName(stem))) {
        auto model = loadCompiledPackage(directory_ / packageName(stem), configuration);
        logger_.info("Compiled + loaded shared " + packageName(stem));
        return model;
    }
    return nullptr;
}

// The loaded model no longer needs its compiled copy, which the compiler puts beside the package: left there,
// every preload would add one more.
std::shared_ptr<platform::ml::Model>
NemotronMultilingualSharedPreloader::loadCompiledPackage(const fs::path& package,
                                                         const platform::ml::ModelConfiguration& configuration) {
    const fs::path compiled = platform::ml::compileModel(package);
    try {
        auto model = platform::ml::Model::load(compiled, configuration);
        platform::sys::removeIgnoringFailure(compiled);
        return model;
    } catch (...) {
        platform::sys::removeIgnoringFailure(compiled);
        throw;
    }
}

} // namespace quorl
