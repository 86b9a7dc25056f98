#include "QuorlAudio/tts/styletts2/StyleTTS2ModelStore.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ResourceDownloader.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/sys/PathPresence.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string_view>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::StyleTTS2;
using platform::core::concatenated;
using platform::ml::ComputeUnits;

struct DefaultBundle {
    std::string_view file;
    ComputeUnits placement;
};

// In load order, one per slot.
constexpr DefaultBundle defaultBundles[] = {
    {names::textEncoderFile, ComputeUnits::cpuOnly},           {names::bertFile, ComputeUnits::all},
    {names::refEncoderFile, ComputeUnits::cpuAndGPU},          {names::fusedDiffusionSamplerFile, ComputeUnits::all},
    {names::durationPredictorFile, ComputeUnits::cpuOnly},     {names::fusedF0nHarSourceFile, ComputeUnits::cpuOnly},
    {names::decoderPreFile, ComputeUnits::cpuAndNeuralEngine}, {names::decoderUpsampleFile, ComputeUnits::cpuOnly},
};

} // namespace

StyleTTS2ModelStore::StyleTTS2ModelStore(std::optional<fs::path> directory, ComputeUnits computeUnits)
    : directory_(std::move(directory)), computeUnits_(computeUnits) {}

void StyleTTS2ModelStore::loadIfNeeded() {
    const std::lock_guard lock(mutex_);
    // Complete only with all eight: a load that failed part-way is taken up where it stopped.
    if (std::ranges::all_of(models_, [](const ModelPointer& loaded) { return loaded != nullptr; })) {
        return;
    }
    repoDirectory_ = StyleTTS2ResourceDownloader::ensureDefaultModels(directory_, {});
    logger_.info(concatenated({"Loading StyleTTS2 CoreML models from ", repoDirectory_->string(), "\u2026"}));
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (!models_[slot]) {
            const auto& bundle = defaultBundles[slot];
            models_[slot] = loadBundle(std::string(bundle.file), placement(bundle.placement));
        }
    }
    logger_.info(concatenated(
        {"StyleTTS2 default models loaded in ", fixedDecimalText(platform::core::secondsSince(start), 2), "s"}));
}

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::textEncoder() const { return model(Slot::textEncoder); }
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::bert() const { return model(Slot::bert); }
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::refEncoder() const { return model(Slot::refEncoder); }
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::fusedDiffusionSampler() const {
    return model(Slot::fusedDiffusionSampler);
}
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::durationPredictor() const {
    return model(Slot::durationPredictor);
}
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::fusedF0nHarSource() const {
    return model(Slot::fusedF0nHarSource);
}
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::decoderPre() const { return model(Slot::decoderPre); }
StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::decoderUpsample() const { return model(Slot::decoderUpsample); }

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::bert(int forTokenCount) {
    return modelForTokens(bertBuckets_, forTokenCount);
}

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::sampler(int forTokenCount) {
    return modelForTokens(samplerBuckets_, forTokenCount);
}

int StyleTTS2ModelStore::resolveBucket(int tokenCount) {
    for (const int bucket : StyleTTS2Constants::bucketTokenSizes) {
        if (bucket >= tokenCount) {
            return bucket;
        }
    }
    throw StyleTTS2Error::noBucketAvailable(tokenCount);
}

fs::path StyleTTS2ModelStore::repoDir() const {
    const std::lock_guard lock(mutex_);
    if (!repoDirectory_) {
        throw StyleTTS2Error::notInitialized();
    }
    return *repoDirectory_;
}

void StyleTTS2ModelStore::unload() {
    const std::lock_guard lock(mutex_);
    models_ = {};
    bertBuckets_.buckets.clear();
    samplerBuckets_.buckets.clear();
}

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::model(Slot slot) const {
    const std::lock_guard lock(mutex_);
    const auto& loaded = models_[static_cast<std::size_t>(slot)];
    if (!loaded) {
        throw StyleTTS2Error::notInitialized();
    }
    return loaded;
}

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::modelForTokens(BucketFamily& family, int tokenCount) {
    if (tokenCount <= StyleTTS2Constants::defaultBertTokens) {
        return model(family.defaultSlot);
    }
    const int bucket = resolveBucket(tokenCount);
    const std::lock_guard lock(mutex_);
    if (const auto found = family.buckets.find(bucket); found != family.buckets.end()) {
        return found->second;
    }
    if (!repoDirectory_) {
        throw StyleTTS2Error::notInitialized();
    }
    StyleTTS2ResourceDownloader::ensureBucket(bucket, *repoDirectory_);
    auto loaded = loadBundle(concatenated({family.bundlePrefix, std::to_string(bucket), ".mlmodelc"}),
                             placement(ComputeUnits::all));
    family.buckets[bucket] = loaded;
    return loaded;
}

StyleTTS2ModelStore::ModelPointer StyleTTS2ModelStore::loadBundle(const std::string& name,
                                                                  ComputeUnits placement) const {
    const auto path = *repoDirectory_ / name;
    if (!platform::sys::isPresent(path)) {
        throw StyleTTS2Error::modelFileNotFound(name);
    }
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = placement;
    ModelPointer loaded;
    try {
        loaded = platform::ml::Model::load(path, configuration);
    } catch (const std::exception&) {
        throw StyleTTS2Error::corruptedModel(name, platform::core::describe(std::current_exception()));
    }
    logger_.info("Loaded " + name);
    return loaded;
}

ComputeUnits StyleTTS2ModelStore::placement(ComputeUnits fixed) const {
    return computeUnits_ == ComputeUnits::cpuOnly ? ComputeUnits::cpuOnly : fixed;
}

} // namespace quorl
