#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

#include <array>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorl {

// Owns the eight StyleTTS2 models: makes sure their bundles are cached, loads the default ones once with a
// fixed placement per model, and loads the larger token buckets of BERT and the diffusion sampler when a chunk
// first needs them. Operations are serialised; a load or a bucket fetch holds the others until it is done, so
// two first calls never fetch or load the same bundle twice.
class StyleTTS2ModelStore {
public:
    using ModelPointer = std::shared_ptr<platform::ml::Model>;

    // `directory` is the cache root (none: the synthesis cache's "Models"). With cpuOnly every model runs on
    // the processor; any other value gives each model its fixed placement.
    StyleTTS2ModelStore(std::optional<std::filesystem::path> directory, platform::ml::ComputeUnits computeUnits);

    // Fetches what is missing and loads the default models not loaded yet; nothing when all eight are. A
    // failure part-way keeps the models loaded before it, and the next call loads the rest. Throws StyleTTS2Error (modelFileNotFound,
    // corruptedModel, downloadFailed) or the cache root's own error.
    void loadIfNeeded();

    // The loaded default models; StyleTTS2Error::notInitialized when absent.
    ModelPointer textEncoder() const;
    ModelPointer bert() const;
    ModelPointer refEncoder() const;
    ModelPointer fusedDiffusionSampler() const;
    ModelPointer durationPredictor() const;
    ModelPointer fusedF0nHarSource() const;
    ModelPointer decoderPre() const;
    ModelPointer decoderUpsample() const;

    // The BERT or sampler model for that many tokens: the default one up to 57, else the smallest bucket that
    // holds them, fetched and loaded on first use and kept. Throws noBucketAvailable above 256 and
    // notInitialized before loadIfNeeded.
    ModelPointer bert(int forTokenCount);
    ModelPointer sampler(int forTokenCount);

    // The smallest bucket of at least `tokenCount`; StyleTTS2Error::noBucketAvailable when none is.
    static int resolveBucket(int tokenCount);

    // The repository folder; StyleTTS2Error::notInitialized before loadIfNeeded set it.
    std::filesystem::path repoDir() const;

    // Drops every model; the repository folder stays known.
    void unload();

private:
    enum class Slot : std::size_t {
        textEncoder,
        bert,
        refEncoder,
        fusedDiffusionSampler,
        durationPredictor,
        fusedF0nHarSource,
        decoderPre,
        decoderUpsample,
    };
    static constexpr std::size_t slotCount = 8;

    // A model with a token axis of fixed length: its default slot and its bucket bundles' name prefix.
    struct BucketFamily {
        Slot defaultSlot;
        const char* bundlePrefix;
        std::map<int, ModelPointer> buckets;
    };

    ModelPointer model(Slot slot) const;
    ModelPointer modelForTokens(BucketFamily& family, int tokenCount);
    ModelPointer loadBundle(const std::string& name, platform::ml::ComputeUnits placement) const;
    platform::ml::ComputeUnits placement(platform::ml::ComputeUnits fixed) const;

    AppLogger logger_{"StyleTTS2ModelStore"};
    const std::optional<std::filesystem::path> directory_;
    const platform::ml::ComputeUnits computeUnits_;
    mutable std::mutex mutex_;
    std::array<ModelPointer, slotCount> models_;
    BucketFamily bertBuckets_{Slot::bert, "bert_fp16_t", {}};
    BucketFamily samplerBuckets_{Slot::fusedDiffusionSampler, "fused_diffusion_sampler_fp16_t", {}};
    std::optional<std::filesystem::path> repoDirectory_;
};

} // namespace quorl
