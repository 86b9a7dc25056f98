#include "QuorlAudio/tts/pockettts/PocketTtsStateEngine.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateBuffer.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceSnapshotCheck.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Half.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Inputs = std::map<std::string, FeatureValue>;

constexpr std::size_t width = PocketTtsConstants::transformerDim;
constexpr std::size_t capacity = PocketTtsConstants::kvCacheMaxLen;
constexpr std::size_t bufferCount = capacity * width;
constexpr std::size_t prefillTokens = PocketTtsConstants::condPrefillMaxTokens;
constexpr std::size_t latentDim = PocketTtsConstants::latentDim;

std::string keyName(std::int64_t layer) { return "k_cache" + std::to_string(layer); }
std::string valueName(std::int64_t layer) { return "v_cache" + std::to_string(layer); }

// A zero-filled float array of the shape holding the first values given, as many as fit.
std::shared_ptr<MultiArray> floatArray(MultiArray::Shape shape, std::span<const float> values) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::float32);
    std::copy_n(values.begin(), std::min(values.size(), array->count()), array->data<float>());
    return array;
}

std::shared_ptr<MultiArray> scalar(float value) { return floatArray({1}, std::span(&value, 1)); }

// 524288 bit patterns: the floats converted to half precision, then zeros.
std::vector<std::uint16_t> halfBuffer(std::span<const float> values) {
    std::vector<platform::dsp::Half> halves(values.size());
    platform::dsp::floatToHalf(values.data(), halves.data(), values.size());
    std::vector<std::uint16_t> buffer(bufferCount);
    std::memcpy(buffer.data(), halves.data(), halves.size() * sizeof(platform::dsp::Half));
    return buffer;
}

} // namespace

PocketTtsStateEngine::PocketTtsStateEngine(PocketTtsStateModels models, std::int64_t layers)
    : models_(std::move(models)), mlState_(models_.generate->makeState()), layers_(layers) {}

float PocketTtsStateEngine::position() const {
    const std::lock_guard lock(mutex_);
    return position_;
}

void PocketTtsStateEngine::reset(const Fp16Snapshot& snapshot) {
    const std::lock_guard lock(mutex_);
    const auto layers = static_cast<std::size_t>(layers_);
    if (snapshot.kBuffers.size() < layers || snapshot.vBuffers.size() < layers) {
        throw PocketTTSError::processingFailed(concatenated(
            {"state snapshot of ", std::to_string(std::min(snapshot.kBuffers.size(), snapshot.vBuffers.size())),
             " layers for a model of ", std::to_string(layers_)}));
    }
    for (std::int64_t layer = 0; layer < layers_; ++layer) {
        writeStateBuffer(snapshot.kBuffers[static_cast<std::size_t>(layer)], keyName(layer));
        writeStateBuffer(snapshot.vBuffers[static_cast<std::size_t>(layer)], valueName(layer));
    }
    position_ = snapshot.position;
}

void PocketTtsStateEngine::resetToZero() {
    const std::lock_guard lock(mutex_);
    const std::vector<std::uint16_t> zeros(bufferCount);
    for (std::int64_t layer = 0; layer < layers_; ++layer) {
        writeStateBuffer(zeros, keyName(layer));
        writeStateBuffer(zeros, valueName(layer));
    }
    position_ = 0;
}

PocketTtsStateEngine::Fp16Snapshot PocketTtsStateEngine::captureSnapshot() const {
    const std::lock_guard lock(mutex_);
    Fp16Snapshot snapshot;
    for (std::int64_t layer = 0; layer < layers_; ++layer) {
        snapshot.kBuffers.push_back(readStateBuffer(keyName(layer)));
        snapshot.vBuffers.push_back(readStateBuffer(valueName(layer)));
    }
    snapshot.position = position_;
    return snapshot;
}

void PocketTtsStateEngine::prefill(std::span<const float> flatConditioning, std::int64_t tokenCount) {
    const std::lock_guard lock(mutex_);
    for (std::int64_t start = 0; start < tokenCount;) {
        const auto chunk = std::min<std::int64_t>(tokenCount - start, prefillTokens);
        const auto offset = std::min(flatConditioning.size(), static_cast<std::size_t>(start) * width);
        const auto values = flatConditioning.subspan(offset).first(
            std::min(flatConditioning.size() - offset, static_cast<std::size_t>(chunk) * width));
        const platform::ml::DictionaryFeatureProvider inputs(
            Inputs{{"conditioning", floatArray({1, prefillTokens, width}, values)},
                   {"valid_len", scalar(static_cast<float>(chunk))},
                   {"position", scalar(position_)}});
        const auto outputs = models_.prefill->predict(inputs, *mlState_);
        const auto newPosition = platform::ml::multiArrayOutput(*outputs, "new_position");
        position_ = newPosition != nullptr && newPosition->count() > 0 ? static_cast<float>(newPosition->value(0))
                                                                       : position_ + static_cast<float>(chunk);
        start += chunk;
    }
}

PocketTtsStateEngine::Frame PocketTtsStateEngine::generateFrame(std::span<const float> sequence,
                                                                std::span<const float> noise) {
    const std::lock_guard lock(mutex_);
    const platform::ml::DictionaryFeatureProvider inputs(Inputs{{"sequence", floatArray({1, 1, latentDim}, sequence)},
                                                                {"latent_init", floatArray({1, latentDim}, noise)},
                                                                {"position", scalar(position_)}});
    const auto outputs = models_.generate->predict(inputs, *mlState_);
    const auto latent = platform::ml::multiArrayOutput(*outputs, "latent_final");
    if (latent == nullptr) {
        throw StateError::missingOutput("latent_final");
    }
    const auto eos = platform::ml::multiArrayOutput(*outputs, "is_eos");
    if (eos == nullptr || eos->count() == 0) {
        throw StateError::missingOutput("is_eos");
    }
    Frame frame{.latent = PocketTtsSynthesizer::readFloatArray(*latent, latentDim, "latent_final"),
                .eosLogit = static_cast<float>(eos->value(0))};
    position_ += 1;
    return frame;
}

PocketTtsStateEngine::Fp16Snapshot PocketTtsStateEngine::fp16Snapshot(const PocketTtsVoiceCacheSnapshot& from,
                                                                      std::int64_t layers) {
    checkVoiceSnapshot(from, layers, "capacity");
    const auto plane = static_cast<std::size_t>(from.cacheSeqLen) * width;
    Fp16Snapshot snapshot;
    for (const auto& layer : from.layers) {
        const std::span<const float> cache(layer.cache);
        snapshot.kBuffers.push_back(halfBuffer(cache.first(plane)));
        snapshot.vBuffers.push_back(halfBuffer(cache.subspan(plane, plane)));
    }
    snapshot.position = from.layers.empty() ? 0.0F : static_cast<float>(from.layers.front().offset);
    return snapshot;
}

void PocketTtsStateEngine::writeStateBuffer(std::span<const std::uint16_t> values, const std::string& name) {
    mlState_->withMultiArray(name, [&](MultiArray& buffer) { PocketTtsStateBuffer::write(buffer, values, name); });
}

std::vector<std::uint16_t> PocketTtsStateEngine::readStateBuffer(const std::string& name) const {
    std::vector<std::uint16_t> values;
    mlState_->withMultiArray(name, [&](MultiArray& buffer) { values = PocketTtsStateBuffer::read(buffer, name); });
    return values;
}

} // namespace quorl
