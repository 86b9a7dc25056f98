#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// One loaded Sortformer streaming model with its six input arrays, allocated once for the configuration it was
// loaded with and overwritten by every step. Copies share the model and the arrays, so one step at a time runs
// for a loaded set and all its copies.
class SortformerModels {
public:
    // The streaming geometry the model's metadata declares, in output frames.
    struct EmbeddedConfig {
        int chunkLen;
        int chunkLeftContext;
        int chunkRightContext;
        int fifoLen;
        int spkcacheLen;

        bool operator==(const EmbeddedConfig&) const = default;
    };

    struct MainModelOutput {
        // Speaker probabilities, frame-major: the speaker-cache frames, the FIFO frames, then the chunk's own.
        std::vector<float> predictions;
        // The chunk's pre-encoder embeddings, frame-major; may hold more frames than chunkLength.
        std::vector<float> chunkEmbeddings;
        int chunkLength;
    };

    // Creates the zero-filled input arrays for the configuration's shapes; an allocation failure is passed on.
    SortformerModels(const SortformerConfig& config, std::shared_ptr<platform::ml::Model> main,
                     double compilationDuration);

    const std::shared_ptr<platform::ml::Model>& mainModel() const { return mainModel_; }
    // Seconds from the start of the load call to the model being ready.
    double compilationDuration() const { return compilationDuration_; }

    const std::shared_ptr<platform::ml::MultiArray>& chunkArray() const { return chunkArray_; }
    const std::shared_ptr<platform::ml::MultiArray>& chunkLengthArray() const { return chunkLengthArray_; }
    const std::shared_ptr<platform::ml::MultiArray>& fifoArray() const { return fifoArray_; }
    const std::shared_ptr<platform::ml::MultiArray>& fifoLengthArray() const { return fifoLengthArray_; }
    const std::shared_ptr<platform::ml::MultiArray>& spkcacheArray() const { return spkcacheArray_; }
    const std::shared_ptr<platform::ml::MultiArray>& spkcacheLengthArray() const { return spkcacheLengthArray_; }

    // Read from the model's metadata on every call; absent when an entry is missing or not a plain integer.
    std::optional<EmbeddedConfig> embeddedConfig() const;

    // CPU only for the large half-precision variants on machines with less than 8 GiB, else every unit.
    static platform::ml::ComputeUnits recommendedComputeUnits(const SortformerConfig& config);
    static platform::ml::ComputeUnits recommendedComputeUnits(const SortformerConfig& config,
                                                              std::uint64_t physicalMemoryBytes);

    // Compiles the package at the path and loads it.
    static SortformerModels load(const SortformerConfig& config, const std::filesystem::path& mainModelPath,
                                 std::optional<platform::ml::ComputeUnits> computeUnits = std::nullopt);
    // Fetches the configuration's bundle into cacheDirectory (default: the models root) and loads it.
    static SortformerModels loadFromHuggingFace(const SortformerConfig& config,
                                                const std::optional<std::filesystem::path>& cacheDirectory = {},
                                                std::optional<platform::ml::ComputeUnits> computeUnits = {},
                                                const ProgressHandler& progressHandler = {});

    // One streaming step: chunk holds mel frames, spkcache and fifo embedding frames, each frame-major; the
    // lengths count their valid frames. Values beyond an array's size are cut, missing ones are zero.
    MainModelOutput runMainModel(std::span<const float> chunk, int chunkLength, std::span<const float> spkcache,
                                 int spkcacheLength, std::span<const float> fifo, int fifoLength) const;

private:
    std::shared_ptr<platform::ml::Model> mainModel_;
    double compilationDuration_;
    std::shared_ptr<ANEMemoryOptimizer> memoryOptimizer_;
    std::shared_ptr<platform::ml::MultiArray> chunkArray_;
    std::shared_ptr<platform::ml::MultiArray> chunkLengthArray_;
    std::shared_ptr<platform::ml::MultiArray> fifoArray_;
    std::shared_ptr<platform::ml::MultiArray> fifoLengthArray_;
    std::shared_ptr<platform::ml::MultiArray> spkcacheArray_;
    std::shared_ptr<platform::ml::MultiArray> spkcacheLengthArray_;
};

} // namespace quorl
