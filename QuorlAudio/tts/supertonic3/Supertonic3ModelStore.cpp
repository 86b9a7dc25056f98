#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ResourceDownloader.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::Supertonic3;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::Model;
using platform::ml::ModelConfiguration;

std::shared_ptr<Model> loadModel(const fs::path& repoDir, const std::string& fileName, ComputeUnits units,
                                 const AppLogger& logger) {
    const fs::path path = repoDir / fileName;
    if (!platform::sys::isPresent(path)) {
        throw Supertonic3Error::modelFileNotFound(fileName);
    }
    ModelConfiguration configuration;
    configuration.computeUnits = units;
    std::shared_ptr<Model> model;
    try {
        model = Model::load(path, configuration);
    } catch (const std::exception& error) {
        throw Supertonic3Error::corruptedModel(fileName, error.what());
    }
    logger.info("Loaded " + fileName);
    return model;
}

// The first bucket that holds the length; none past the largest.
std::optional<int> bucketFor(std::int64_t latentLength) {
    for (const int bucket : names::aneBuckets) {
        if (latentLength <= bucket) {
            return bucket;
        }
    }
    return std::nullopt;
}

Supertonic3Error beyondLargestBucket(std::int64_t latentLength) {
    return Supertonic3Error::inferenceFailed(
        "vector_estimator",
        concatenated({"latent length ", std::to_string(latentLength), " exceeds largest ANE bucket ",
                      std::to_string(names::aneBuckets.back()), "; use a dynamic VectorEstimator"}));
}

} // namespace

Supertonic3ModelStore::Supertonic3ModelStore(std::optional<fs::path> directory, ComputeUnits computeUnits,
                                             Supertonic3VectorEstimator vectorEstimator)
    : directory_(std::move(directory)), computeUnits_(computeUnits), veOption_(vectorEstimator) {}

void Supertonic3ModelStore::loadIfNeeded() {
    const std::lock_guard lock(mutex_);
    if (textEncoderModel_) {
        return;
    }
    repoDirectory_ = Supertonic3ResourceDownloader::ensureModels(directory_, veOption_.downloadVariant());
    readConfig();
    loadModels();
}

// A missing file is silent; an unreadable one keeps whatever configuration is in force.
void Supertonic3ModelStore::readConfig() {
    const fs::path file = *repoDirectory_ / names::configFile;
    if (!platform::sys::isPresent(file)) {
        return;
    }
    try {
        config_ = nlohmann::json::parse(platform::sys::wholeFile(file)).get<Supertonic3Config>();
    } catch (const std::exception& error) {
        logger_.warning(concatenated({"Failed to decode tts.json (", error.what(), "); using compile-time defaults"}));
    }
}

void Supertonic3ModelStore::loadModels() {
    const fs::path& repoDir = *repoDirectory_;
    logger_.info(concatenated({"Loading Supertonic-3 CoreML models from ", repoDir.string(), "\u2026"}));
    const auto start = std::chrono::steady_clock::now();
    textEncoderModel_ = loadModel(repoDir, std::string(names::textEncoderFile), computeUnits_, logger_);
    durationPredictorModel_ = loadModel(repoDir, std::string(names::durationPredictorFile), computeUnits_, logger_);
    vocoderModel_ = loadModel(repoDir, std::string(names::vocoderFile), computeUnits_, logger_);
    switch (veOption_.kind()) {
    case Supertonic3VectorEstimator::Kind::dynamic:
        vectorEstimatorModel_ =
            loadModel(repoDir, names::vectorEstimatorFile(std::string(rawValue(*veOption_.quantization()))),
                      unitsFor(ComputeUnits::cpuAndGPU), logger_);
        break;
    case Supertonic3VectorEstimator::Kind::fp16Dynamic:
        vectorEstimatorModel_ = loadModel(repoDir, names::vectorEstimatorFile(), computeUnits_, logger_);
        break;
    case Supertonic3VectorEstimator::Kind::aneBucketed: break;
    }
    logger_.info(concatenated(
        {"Supertonic-3 models loaded in ", fixedDecimalText(platform::core::secondsSince(start), 2), "s"}));
}

std::shared_ptr<Model> Supertonic3ModelStore::textEncoder() const { return loadedModel(textEncoderModel_); }

std::shared_ptr<Model> Supertonic3ModelStore::durationPredictor() const { return loadedModel(durationPredictorModel_); }

std::shared_ptr<Model> Supertonic3ModelStore::vocoder() const { return loadedModel(vocoderModel_); }

std::shared_ptr<Model> Supertonic3ModelStore::loadedModel(const std::shared_ptr<Model>& model) const {
    const std::lock_guard lock(mutex_);
    if (!model) {
        throw Supertonic3Error::notInitialized();
    }
    return model;
}

Supertonic3ModelStore::VectorEstimatorModel Supertonic3ModelStore::vectorEstimator(std::int64_t forLatentLength) {
    if (veOption_.kind() != Supertonic3VectorEstimator::Kind::aneBucketed) {
        return {.model = loadedModel(vectorEstimatorModel_), .paddedLength = forLatentLength};
    }
    const auto bucket = bucketFor(forLatentLength);
    if (!bucket) {
        throw beyondLargestBucket(forLatentLength);
    }
    const std::lock_guard lock(mutex_);
    return bucketModel(*bucket, *veOption_.quantization());
}

// Kept once loaded; a failed load records nothing.
Supertonic3ModelStore::VectorEstimatorModel Supertonic3ModelStore::bucketModel(int bucket,
                                                                               Supertonic3Quantization quantization) {
    if (const auto found = bucketModels_.find(bucket); found != bucketModels_.end()) {
        return {.model = found->second, .paddedLength = bucket};
    }
    if (!repoDirectory_) {
        throw Supertonic3Error::notInitialized();
    }
    const std::string fileName = names::vectorEstimatorFile(std::string(rawValue(quantization)), bucket);
    auto model = loadModel(*repoDirectory_, fileName, unitsFor(ComputeUnits::cpuAndNeuralEngine), logger_);
    bucketModels_.emplace(bucket, model);
    return {.model = std::move(model), .paddedLength = bucket};
}

// Variable-length quantised estimators run on CPU and GPU, fixed-length ones on the Neural Engine, unless the
// store keeps everything on the CPU.
ComputeUnits Supertonic3ModelStore::unitsFor(ComputeUnits preferred) const {
    return computeUnits_ == ComputeUnits::cpuOnly ? ComputeUnits::cpuOnly : preferred;
}

fs::path Supertonic3ModelStore::repoDir() const {
    const std::lock_guard lock(mutex_);
    if (!repoDirectory_) {
        throw Supertonic3Error::notInitialized();
    }
    return *repoDirectory_;
}

fs::path Supertonic3ModelStore::unicodeIndexerURL() const { return repoDir() / names::unicodeIndexerFile; }

void Supertonic3ModelStore::unload() {
    const std::lock_guard lock(mutex_);
    textEncoderModel_.reset();
    durationPredictorModel_.reset();
    vectorEstimatorModel_.reset();
    bucketModels_.clear();
    vocoderModel_.reset();
}

Supertonic3Config Supertonic3ModelStore::config() const {
    const std::lock_guard lock(mutex_);
    return config_;
}

} // namespace quorl
