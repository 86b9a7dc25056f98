#pragma once

#include "QuorlAudio/diarization/streaming/LSEENDInput.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"
#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quorl {

// One loaded LS-EEND model with the configuration its metadata declares. Predictions on one model run one
// after another.
class LSEENDModel {
public:
    // Loads the compiled bundle at the path (a package is compiled first) and decodes the JSON of the
    // metadata's "config" member. LSEENDError::initializationFailed without one; load and JSON errors are
    // passed on.
    LSEENDModel(const std::filesystem::path& modelURL, platform::ml::ComputeUnits computeUnits);
    LSEENDModel(const LSEENDModel&) = delete;
    LSEENDModel& operator=(const LSEENDModel&) = delete;

    // Which bundle to load from the hub, and how.
    struct HubRequest {
        ModelNames::LSEEND::Variant variant = ModelNames::LSEEND::defaultVariant;
        ModelNames::LSEEND::StepSize stepSize = ModelNames::LSEEND::defaultStep;
        // Default: the models root.
        std::optional<std::filesystem::path> cacheDirectory{};
        platform::ml::ComputeUnits computeUnits = platform::ml::ComputeUnits::all;
        // Receives the download's progress.
        ProgressHandler progressHandler{};
    };

    // The bundle of the variant at the step from the cache folder, downloaded once when nothing is there yet.
    // LSEENDError::initializationFailed when the download left no bundle; hub errors are passed on.
    static std::shared_ptr<LSEENDModel> loadFromHuggingFace(const HubRequest& request);

    const LSEENDMetadata& metadata() const { return metadata_; }

    // Runs one chunk; the new state lands in the input's own state arrays. Returns the probabilities of the
    // frames after the input's warm-up, frame-major, or nothing when no frame or slot is left.
    std::vector<float> predict(LSEENDInput& input) const;

    // Rows warmupFrames ... chunkSize - 1 of a [1, chunkSize, speakers] probability array, read through its
    // frame stride. LSEENDError::inferenceFailed unless its innermost stride is 1.
    static std::vector<float> validFrames(const platform::ml::MultiArray& probs, int warmupFrames, int chunkSize,
                                          int speakers);

private:
    std::shared_ptr<platform::ml::Model> model_;
    LSEENDMetadata metadata_;
    mutable std::mutex mutex_;
};

} // namespace quorl
