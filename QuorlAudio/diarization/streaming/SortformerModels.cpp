#include "QuorlAudio/diarization/streaming/SortformerModels.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/CompileModel.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/sys/SystemFacts.hpp"
#include "platform/sys/UserFolders.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <map>
#include <string>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::DataType;
using platform::ml::FeatureProvider;
using platform::ml::MultiArray;

const AppLogger& logger() {
    static const AppLogger instance("SortformerModels");
    return instance;
}

double secondsFrom(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::optional<int> metadataInteger(const std::map<std::string, std::string>& metadata, const std::string& key) {
    const auto entry = metadata.find(key);
    if (entry == metadata.end()) {
        return std::nullopt;
    }
    const auto value = platform::text::decimalInteger(entry->second);
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// Copies as much of `values` as fits to the start of a float array and zeroes the rest, so nothing of an
// earlier step survives.
void fill(MultiArray& array, std::span<const float> values) {
    if (array.dataType() != DataType::float32) {
        return;
    }
    float* destination = array.data<float>();
    const std::size_t copied = std::min(values.size(), array.count());
    platform::dsp::copy(values.data(), destination, copied);
    platform::dsp::clear(destination + copied, array.count() - copied);
}

void setLength(MultiArray& array, int length) { array.at<std::int32_t>(0) = static_cast<std::int32_t>(length); }

std::shared_ptr<MultiArray> outputArray(const FeatureProvider& outputs, const std::string& name, DataType type) {
    const auto value = outputs.featureValue(name);
    auto array = value ? value->multiArrayValue() : nullptr;
    return array && array->dataType() == type ? array : nullptr;
}

// The elements of a float output in logical order, widened from half precision when it is one.
std::optional<std::vector<float>> floatValues(const FeatureProvider& outputs, const std::string& name, DataType type) {
    const auto array = outputArray(outputs, name, type);
    if (!array) {
        return std::nullopt;
    }
    std::vector<float> values(array->count());
    for (std::size_t index = 0; index < values.size(); ++index) {
        values[index] = static_cast<float>(array->value(index));
    }
    return values;
}

std::optional<int> firstInteger(const FeatureProvider& outputs, const std::string& name) {
    const auto array = outputArray(outputs, name, DataType::int32);
    if (!array || array->count() == 0) {
        return std::nullopt;
    }
    return array->at<std::int32_t>(0);
}

std::vector<float> predictionsOf(const FeatureProvider& outputs) {
    for (const char* name : {"speaker_preds_out", "speaker_preds"}) {
        if (auto values = floatValues(outputs, name, DataType::float32)) {
            return std::move(*values);
        }
    }
    throw SortformerError::inferenceFailed("Missing speaker_preds or speaker_preds_out");
}

int chunkLengthOf(const FeatureProvider& outputs) {
    for (const char* name : {"chunk_pre_encoder_lengths_out", "chunk_pre_encoder_lengths"}) {
        if (const auto length = firstInteger(outputs, name)) {
            return *length;
        }
    }
    throw SortformerError::inferenceFailed("Missing chunk_pre_encoder_lengths or chunk_pre_encoder_lengths_out");
}

std::vector<float> chunkEmbeddingsOf(const FeatureProvider& outputs) {
    if (auto values = floatValues(outputs, "chunk_pre_encoder_embs_out", DataType::float32)) {
        return std::move(*values);
    }
    if (auto values = floatValues(outputs, "chunk_pre_encoder_embs", DataType::float32)) {
        return std::move(*values);
    }
    if (auto values = floatValues(outputs, "chunk_pre_encoder_embs_out", DataType::float16)) {
        return std::move(*values);
    }
    throw SortformerError::inferenceFailed("Missing chunk_pre_encoder_embs_out");
}

ComputeUnits chosenUnits(const SortformerConfig& config, std::optional<ComputeUnits> computeUnits) {
    return computeUnits ? *computeUnits : SortformerModels::recommendedComputeUnits(config);
}

} // namespace

SortformerModels::SortformerModels(const SortformerConfig& config, std::shared_ptr<platform::ml::Model> main,
                                   double compilationDuration)
    : mainModel_(std::move(main)), compilationDuration_(compilationDuration),
      memoryOptimizer_(std::make_shared<ANEMemoryOptimizer>()) {
    const auto frames = [](int count) { return static_cast<std::size_t>(count); };
    chunkArray_ = memoryOptimizer_->createAlignedArray(
        {1, frames(config.chunkMelFrames()), frames(SortformerConfig::melFeatures)}, DataType::float32);
    fifoArray_ = memoryOptimizer_->createAlignedArray(
        {1, frames(config.fifoLen), frames(SortformerConfig::preEncoderDims)}, DataType::float32);
    spkcacheArray_ = memoryOptimizer_->createAlignedArray(
        {1, frames(config.spkcacheLen), frames(SortformerConfig::preEncoderDims)}, DataType::float32);
    chunkLengthArray_ = memoryOptimizer_->createAlignedArray({1}, DataType::int32);
    fifoLengthArray_ = memoryOptimizer_->createAlignedArray({1}, DataType::int32);
    spkcacheLengthArray_ = memoryOptimizer_->createAlignedArray({1}, DataType::int32);
}

std::optional<SortformerModels::EmbeddedConfig> SortformerModels::embeddedConfig() const {
    const auto& metadata = mainModel_->description().creatorDefinedMetadata;
    std::array<int, 5> values{};
    const std::array<const char*, 5> keys{"chunk_len", "chunk_left_context", "chunk_right_context", "fifo_len",
                                          "spkcache_len"};
    for (std::size_t index = 0; index < keys.size(); ++index) {
        const auto value = metadataInteger(metadata, keys[index]);
        if (!value) {
            return std::nullopt;
        }
        values[index] = *value;
    }
    return EmbeddedConfig{.chunkLen = values[0],
                          .chunkLeftContext = values[1],
                          .chunkRightContext = values[2],
                          .fifoLen = values[3],
                          .spkcacheLen = values[4]};
}

ComputeUnits SortformerModels::recommendedComputeUnits(const SortformerConfig& config) {
    return recommendedComputeUnits(config, platform::sys::SystemFacts::physicalMemoryBytes());
}

ComputeUnits SortformerModels::recommendedComputeUnits(const SortformerConfig& config,
                                                       std::uint64_t physicalMemoryBytes) {
    const bool largeVariant = config.modelVariant == SortformerVariant::highContextV2 ||
                              config.modelVariant == SortformerVariant::highContextV2_1;
    if (!largeVariant || config.precision != SortformerModelPrecision::fp16) {
        return ComputeUnits::all;
    }
    const double gibibytes = static_cast<double>(physicalMemoryBytes) / static_cast<double>(1ULL << 30);
    if (gibibytes >= 8.0) {
        return ComputeUnits::all;
    }
    logger().warning("Loading large fp16 " + std::string(caseName(*config.modelVariant)) + " head on a " +
                     fixedDecimalText(gibibytes, 1) +
                     "GB device with .cpuOnly to avoid the multi-minute ANE compile hang. Use "
                     "SortformerConfig.precision = .palettized for an ANE-friendly ~330MB build, or pass "
                     "computeUnits explicitly to override.");
    return ComputeUnits::cpuOnly;
}

SortformerModels SortformerModels::load(const SortformerConfig& config, const fs::path& mainModelPath,
                                        std::optional<ComputeUnits> computeUnits) {
    logger().info("Loading Sortformer models from local paths (combined pipeline mode)");
    const auto start = std::chrono::steady_clock::now();
    logger().info("Compiling main model...");
    const fs::path compiled = platform::ml::compileModel(mainModelPath);
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = chosenUnits(config, computeUnits);
    auto model = platform::ml::Model::load(compiled, configuration);
    logger().info("Loaded main Sortformer model (computeUnits=" +
                  std::to_string(platform::ml::rawValue(configuration.computeUnits)) + ")");
    const double duration = secondsFrom(start);
    logger().info("Models loaded in " + fixedDecimalText(duration, 2) + "s");
    return SortformerModels(config, std::move(model), duration);
}

SortformerModels SortformerModels::loadFromHuggingFace(const SortformerConfig& config,
                                                       const std::optional<fs::path>& cacheDirectory,
                                                       std::optional<ComputeUnits> computeUnits,
                                                       const ProgressHandler& progressHandler) {
    logger().info("Loading Sortformer models from HuggingFace...");
    const auto start = std::chrono::steady_clock::now();
    const fs::path directory =
        cacheDirectory ? *cacheDirectory : platform::sys::UserFolders::applicationSupport() / "QuorlAudio" / "Models";
    const auto bundle = ModelNames::Sortformer::bundle(config);
    if (!bundle) {
        throw SortformerError::modelLoadFailed("Unsupported Sortformer configuration");
    }
    logger().info("Downloading Sortformer models from HuggingFace from bundle: " + *bundle + "...");
    const auto models = ModelHub::shared().loadModels({.repo = Repo::sortformer,
                                                       .modelNames = {*bundle},
                                                       .directory = directory,
                                                       .computeUnits = chosenUnits(config, computeUnits),
                                                       .variant = *bundle},
                                                      progressHandler);
    const auto model = models.find(*bundle);
    if (model == models.end() || !model->second) {
        throw SortformerError::modelLoadFailed("Failed to load Sortformer models from HuggingFace");
    }
    const double duration = secondsFrom(start);
    logger().info("Sortformer models loaded from HuggingFace in " + fixedDecimalText(duration, 2) + "s");
    return SortformerModels(config, model->second, duration);
}

SortformerModels::MainModelOutput SortformerModels::runMainModel(std::span<const float> chunk, int chunkLength,
                                                                 std::span<const float> spkcache, int spkcacheLength,
                                                                 std::span<const float> fifo, int fifoLength) const {
    fill(*chunkArray_, chunk);
    fill(*fifoArray_, fifo);
    fill(*spkcacheArray_, spkcache);
    setLength(*chunkLengthArray_, chunkLength);
    setLength(*fifoLengthArray_, fifoLength);
    setLength(*spkcacheLengthArray_, spkcacheLength);
    const platform::ml::DictionaryFeatureProvider inputs({{"chunk", chunkArray_},
                                                          {"chunk_lengths", chunkLengthArray_},
                                                          {"spkcache", spkcacheArray_},
                                                          {"spkcache_lengths", spkcacheLengthArray_},
                                                          {"fifo", fifoArray_},
                                                          {"fifo_lengths", fifoLengthArray_}});
    const auto outputs = mainModel_->predict(inputs);
    auto predictions = predictionsOf(*outputs);
    const int length = chunkLengthOf(*outputs);
    return {
        .predictions = std::move(predictions), .chunkEmbeddings = chunkEmbeddingsOf(*outputs), .chunkLength = length};
}

} // namespace quorl
