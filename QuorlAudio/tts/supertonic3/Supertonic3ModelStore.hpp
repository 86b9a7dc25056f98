#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Config.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace quorl {

// Owns the loaded models of one Supertonic-3 set: text encoder, duration predictor, vocoder and the vector
// estimator of the chosen kind (one model, or one per latent-length bucket loaded when a text first needs it),
// with the configuration read from the set's "tts.json". Models are opened straight from their compiled bundles.
// Thread-safe; a load holds the store while it downloads, so a second load waits and then finds it loaded.
class Supertonic3ModelStore {
public:
    // The model to run the vector estimator with, and the latent length its inputs must have.
    struct VectorEstimatorModel {
        std::shared_ptr<platform::ml::Model> model;
        std::int64_t paddedLength = 0;
    };

    // `directory` is the models root (none: the synthesis cache's). `computeUnits` run the text encoder, duration
    // predictor, vocoder and half-precision estimator; cpuOnly keeps every model on the CPU. Reads nothing.
    Supertonic3ModelStore(std::optional<std::filesystem::path> directory, platform::ml::ComputeUnits computeUnits,
                          Supertonic3VectorEstimator vectorEstimator);

    // Fetches what is missing, reads "tts.json" (an unreadable one logs a warning and keeps the configuration
    // in force) and loads the models; does nothing once the text encoder is loaded. A failure part-way keeps
    // the models loaded before it. Throws the downloader's errors, Supertonic3Error::modelFileNotFound and
    // corruptedModel.
    void loadIfNeeded();

    // The loaded model; Supertonic3Error::notInitialized when it is not.
    std::shared_ptr<platform::ml::Model> textEncoder() const;
    std::shared_ptr<platform::ml::Model> durationPredictor() const;
    std::shared_ptr<platform::ml::Model> vocoder() const;

    // The single estimator with the length as it is, or the bucket model of the smallest bucket that holds the
    // length, loaded on first need (Supertonic3Error::inferenceFailed past the largest bucket, notInitialized
    // before loadIfNeeded).
    VectorEstimatorModel vectorEstimator(std::int64_t forLatentLength);

    // The repository folder and its "unicode_indexer.json"; notInitialized until loadIfNeeded has found the
    // repository. Both still answer after unload.
    std::filesystem::path repoDir() const;
    std::filesystem::path unicodeIndexerURL() const;

    // Drops every model; the repository folder and the configuration stay.
    void unload();

    Supertonic3Config config() const;

private:
    void readConfig();
    void loadModels();
    std::shared_ptr<platform::ml::Model> loadedModel(const std::shared_ptr<platform::ml::Model>& model) const;
    VectorEstimatorModel bucketModel(int bucket, Supertonic3Quantization quantization);
    platform::ml::ComputeUnits unitsFor(platform::ml::ComputeUnits preferred) const;

    const AppLogger logger_{"Supertonic3ModelStore"};
    const std::optional<std::filesystem::path> directory_;
    const platform::ml::ComputeUnits computeUnits_;
    const Supertonic3VectorEstimator veOption_;

    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> repoDirectory_;
    std::shared_ptr<platform::ml::Model> textEncoderModel_;
    std::shared_ptr<platform::ml::Model> durationPredictorModel_;
    std::shared_ptr<platform::ml::Model> vocoderModel_;
    // The single estimator of dynamic and fp16Dynamic.
    std::shared_ptr<platform::ml::Model> vectorEstimatorModel_;
    std::map<int, std::shared_ptr<platform::ml::Model>> bucketModels_;
    Supertonic3Config config_ = Supertonic3Config::defaults();
};

} // namespace quorl
