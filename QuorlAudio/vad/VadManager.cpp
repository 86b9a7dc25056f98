#include "QuorlAudio/vad/VadManager.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "QuorlAudio/vad/VadError.hpp"
#include "QuorlAudio/vad/VadSpeechSegmenter.hpp"
#include "QuorlAudio/vad/VadStreamTracker.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/sys/UserFolders.hpp"
#include "platform/text/CaseMapping.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::DataType;
using platform::ml::FeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Clock = std::chrono::steady_clock;

constexpr std::size_t contextLength = VadState::contextLength;
constexpr std::size_t stateSize = VadState::stateSize;

double secondsSince(Clock::time_point started) { return std::chrono::duration<double>(Clock::now() - started).count(); }

// The block as the model takes it: exactly 4096 samples, a short block extended by repeating its last sample (an
// empty one is silence).
std::vector<float> fullBlock(std::span<const float> chunk) {
    std::vector<float> block(
        chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(std::min(chunk.size(), VadManager::chunkSize)));
    block.resize(VadManager::chunkSize, block.empty() ? 0.0f : block.back());
    return block;
}

// Copies up to `destination`'s length of `source` into it after clearing it, so a shorter source leaves zeros.
void fill(MultiArray& array, std::size_t offset, std::size_t length, std::span<const float> source) {
    float* destination = array.data<float>() + offset;
    platform::dsp::clear(destination, length);
    platform::dsp::copy(source.data(), destination, std::min(source.size(), length));
}

// The first `count` values of an output, zeros after what it holds.
std::vector<float> leadingValues(const MultiArray& array, std::size_t count) {
    std::vector<float> values(count, 0.0f);
    for (std::size_t index = 0; index < std::min(count, array.count()); ++index) {
        values[index] = static_cast<float>(array.value(index));
    }
    return values;
}

// The output of exactly one of the names when there is one (the names in order); otherwise the first output,
// in the provider's order, whose lower-case name contains a lower-case name, trying the names in order. Only
// multi-arrays count.
std::shared_ptr<MultiArray> featureValue(const FeatureProvider& provider, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        const auto value = provider.featureValue(name);
        if (value && value->multiArrayValue()) {
            return value->multiArrayValue();
        }
    }
    const auto outputs = provider.featureNames();
    for (const auto& name : names) {
        const std::string wanted = platform::text::lowercased(name);
        const auto found = std::ranges::find_if(outputs, [&](const std::string& output) {
            return platform::text::lowercased(output).find(wanted) != std::string::npos;
        });
        if (found == outputs.end()) {
            continue;
        }
        if (const auto value = provider.featureValue(*found); value && value->multiArrayValue()) {
            return value->multiArrayValue();
        }
    }
    return nullptr;
}

// The sample position in seconds, rounded half away from zero to `decimals` decimals.
double roundedSeconds(std::int64_t sampleIndex, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(static_cast<double>(sampleIndex) / VadManager::sampleRate * scale) / scale;
}

} // namespace

VadManager::VadManager(const VadConfig& config, const ProgressHandler& progressHandler)
    : logger_("VadManager"), config_(config) {
    const auto started = Clock::now();
    loadUnifiedModel(std::nullopt, progressHandler);
    logInitialization(started);
}

VadManager::VadManager(const VadConfig& config, const fs::path& modelDirectory, const ProgressHandler& progressHandler)
    : logger_("VadManager"), config_(config) {
    const auto started = Clock::now();
    loadUnifiedModel(modelDirectory, progressHandler);
    logInitialization(started);
}

VadManager::VadManager(const VadConfig& config, std::shared_ptr<platform::ml::Model> vadModel)
    : logger_("VadManager"), config_(config), vadModel_(std::move(vadModel)) {
    logger_.info("VAD initialized with provided model");
}

void VadManager::logInitialization(Clock::time_point started) const {
    logger_.info(
        platform::core::concatenated({"VAD system initialized in ", fixedDecimalText(secondsSince(started), 2), "s"}));
}

void VadManager::loadUnifiedModel(const std::optional<fs::path>& from, const ProgressHandler& progressHandler) {
    const fs::path cache = from.value_or(getDefaultBaseDirectory()) / "Models";
    const auto& required = ModelNames::VAD::requiredModels();
    const auto models = ModelHub::shared().loadModels({.repo = Repo::vad,
                                                       .modelNames = {required.begin(), required.end()},
                                                       .directory = cache,
                                                       .computeUnits = config_.computeUnits},
                                                      progressHandler);
    const auto model = models.find(std::string(ModelNames::VAD::sileroVadFile));
    if (model == models.end()) {
        logger_.error("Failed to load VAD model from downloaded models");
        throw VadError::modelLoadingFailed();
    }
    vadModel_ = model->second;
    logger_.info("VAD model loaded successfully");
}

fs::path VadManager::getDefaultBaseDirectory() {
    return platform::sys::UserFolders::applicationSupport() / "QuorlAudio";
}

VadResult VadManager::processChunk(std::span<const float> chunk, const std::optional<VadState>& inputState) {
    std::lock_guard lock(mutex_);
    return processChunkLocked(chunk, inputState);
}

VadResult VadManager::processChunkLocked(std::span<const float> chunk, const std::optional<VadState>& inputState) {
    if (!vadModel_) {
        throw VadError::notInitialized();
    }
    const auto started = Clock::now();
    const VadState state = inputState.value_or(VadState::initial());
    const auto block = fullBlock(chunk);
    auto answer = processUnifiedModel(block, state, *vadModel_);
    return VadResult{
        .probability = answer.probability,
        .isVoiceActive = answer.probability >= config_.defaultThreshold,
        .processingTime = secondsSince(started),
        .outputState = VadState{.hiddenState = std::move(answer.hiddenState),
                                .cellState = std::move(answer.cellState),
                                .context = std::vector<float>(block.end() - contextLength, block.end())},
    };
}

VadManager::ModelAnswer VadManager::processUnifiedModel(std::span<const float> block, const VadState& inputState,
                                                        const platform::ml::Model& model) {
    try {
        return predict(block, inputState, model);
    } catch (const std::exception& error) {
        logger_.error(platform::core::concatenated({"Model processing failed: ", error.what()}));
        throw VadError::modelProcessingFailed(error.what());
    }
}

VadManager::ModelAnswer VadManager::predict(std::span<const float> block, const VadState& inputState,
                                            const platform::ml::Model& model) {
    auto audio = memoryOptimizer_.getPooledBuffer("vad_audio_input", {1, contextLength + chunkSize}, DataType::float32);
    auto hidden = memoryOptimizer_.getPooledBuffer("vad_hidden_state", {1, stateSize}, DataType::float32);
    auto cell = memoryOptimizer_.getPooledBuffer("vad_cell_state", {1, stateSize}, DataType::float32);
    fill(*audio, 0, contextLength, inputState.context);
    fill(*audio, contextLength, chunkSize, block);
    fill(*hidden, 0, stateSize, inputState.hiddenState);
    fill(*cell, 0, stateSize, inputState.cellState);

    const auto outputs = model.predict(platform::ml::DictionaryFeatureProvider({{"audio_input", FeatureValue(audio)},
                                                                                {"hidden_state", FeatureValue(hidden)},
                                                                                {"cell_state", FeatureValue(cell)}}));
    const auto probability = featureValue(*outputs, {"vad_output"});
    if (!probability || probability->count() == 0) {
        logger_.error("No vad output found");
        throw VadError::modelProcessingFailed("No VAD output");
    }
    const auto nextHidden = featureValue(*outputs, {"new_hidden_state"});
    if (!nextHidden) {
        logger_.error("No new hidden state output found");
        throw VadError::modelProcessingFailed("No new hidden state output");
    }
    const auto nextCell = featureValue(*outputs, {"new_cell_state"});
    if (!nextCell) {
        logger_.error("No new cell state output found");
        throw VadError::modelProcessingFailed("No new cell state output");
    }
    return {.probability = static_cast<float>(probability->value(0)),
            .hiddenState = leadingValues(*nextHidden, stateSize),
            .cellState = leadingValues(*nextCell, stateSize)};
}

std::vector<VadResult> VadManager::processAudioSamples(std::span<const float> samples) {
    std::lock_guard lock(mutex_);
    std::vector<VadResult> results;
    results.reserve((samples.size() + chunkSize - 1) / chunkSize);
    VadState state = VadState::initial();
    for (std::size_t start = 0; start < samples.size(); start += chunkSize) {
        results.push_back(
            processChunkLocked(samples.subspan(start, std::min(chunkSize, samples.size() - start)), state));
        state = results.back().outputState;
    }
    return results;
}

std::vector<VadResult> VadManager::process(const fs::path& url) {
    return processAudioSamples(audioConverter_.resampleAudioFile(url));
}

std::vector<VadResult> VadManager::process(const platform::audio::PCMBuffer& buffer) {
    return processAudioSamples(audioConverter_.resampleBuffer(buffer));
}

std::vector<VadResult> VadManager::process(std::span<const float> samples) { return processAudioSamples(samples); }

std::vector<VadSegment> VadManager::segmentSpeech(std::span<const float> samples, const VadSegmentationConfig& config) {
    return segmentSpeech(processAudioSamples(samples), static_cast<std::int64_t>(samples.size()), config);
}

std::vector<VadSegment> VadManager::segmentSpeech(const std::vector<VadResult>& results, std::int64_t totalSamples,
                                                  const VadSegmentationConfig& config) const {
    std::vector<float> probabilities;
    probabilities.reserve(results.size());
    for (const auto& result : results) {
        probabilities.push_back(result.probability);
    }
    return VadSpeechSegmenter(config, config_.defaultThreshold).segments(probabilities, totalSamples);
}

std::vector<std::vector<float>> VadManager::segmentSpeechAudio(std::span<const float> samples,
                                                               const VadSegmentationConfig& config) {
    const auto count = static_cast<std::int64_t>(samples.size());
    std::vector<std::vector<float>> pieces;
    for (const auto& segment : segmentSpeech(samples, config)) {
        const std::int64_t start = std::clamp<std::int64_t>(segment.startSample(sampleRate), 0, count);
        const std::int64_t end = std::clamp<std::int64_t>(segment.endSample(sampleRate), start, count);
        pieces.emplace_back(samples.begin() + start, samples.begin() + end);
    }
    return pieces;
}

VadStreamState VadManager::makeStreamState() { return VadStreamState::initial(); }

VadStreamResult VadManager::processStreamingChunk(std::span<const float> chunk, const VadStreamState& state,
                                                  const VadSegmentationConfig& config, const VadEventTiming& timing) {
    const VadStreamTracker tracker(config, config_.defaultThreshold);
    const VadResult block = processChunk(chunk, state.modelState);
    VadStreamResult result{.state = state, .event = std::nullopt, .probability = block.probability};
    result.state.modelState = block.outputState;
    result.event = tracker.advance(result.state, block.probability, static_cast<std::int64_t>(chunk.size()));
    if (result.event && timing.returnSeconds) {
        result.event->time = roundedSeconds(result.event->sampleIndex, timing.timeResolution);
    }
    return result;
}

} // namespace quorl
