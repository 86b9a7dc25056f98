#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"
#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"
#include "QuorlAudio/asr/streaming/TimeColumn.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <exception>
#include <map>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureProvider;
using platform::ml::MultiArray;

constexpr std::size_t melHop = 160;
constexpr double frameSeconds = 0.08;
// Emissions allowed on one encoder frame before decoding moves on without a blank.
constexpr int maxSymbolsPerFrame = 10;

std::shared_ptr<MultiArray> int32Array(MultiArray::Shape shape, std::int64_t value) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

std::shared_ptr<MultiArray> output(const FeatureProvider& result, const std::string& name) {
    const auto value = result.featureValue(name);
    return value ? value->multiArrayValue() : nullptr;
}

// Frames [from, from + count) of every band of a [1, bands, frames] array into frames [to, to + count) of
// another, each addressed through its own strides.
void copyFrames(const MultiArray& source, std::size_t from, MultiArray& destination, std::size_t to,
                std::size_t count) {
    const std::size_t bands = destination.shape()[1];
    const float* in = source.data<float>();
    float* out = destination.data<float>();
    const auto& inStrides = source.strides();
    const auto& outStrides = destination.strides();
    for (std::size_t band = 0; band < bands; ++band) {
        for (std::size_t frame = 0; frame < count; ++frame) {
            out[band * outStrides[1] + (to + frame) * outStrides[2]] =
                in[band * inStrides[1] + (from + frame) * inStrides[2]];
        }
    }
}

// The greatest logit's position over the array's storage; the lowest position wins a tie.
std::int64_t argmax(const MultiArray& logits) {
    return static_cast<std::int64_t>(platform::dsp::maxWithIndex(logits.data<float>(), logits.count()).index);
}

} // namespace

template <class Decode> auto StreamingNemotronAsrManager::decodeThenNotify(Decode&& decode) {
    std::vector<std::string> partials;
    TextCallback callback;
    std::exception_ptr error;
    decltype(decode(partials)) result{};
    {
        const std::lock_guard lock(mutex_);
        try {
            result = decode(partials);
        } catch (...) {
            error = std::current_exception();
        }
        callback = partialCallback_;
    }
    for (const auto& transcript : partials) {
        callback(transcript);
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return result;
}

// Audio intake

void StreamingNemotronAsrManager::appendAudio(const platform::audio::PCMBuffer& buffer) {
    const std::lock_guard lock(mutex_);
    StreamingAsrUtils::appendAudio(buffer, audioConverter_, audioBuffer_);
}

std::string StreamingNemotronAsrManager::process(const platform::audio::PCMBuffer& audioBuffer) {
    {
        const std::lock_guard lock(mutex_);
        requireModels();
        StreamingAsrUtils::appendAudio(audioBuffer, audioConverter_, audioBuffer_);
    }
    processBufferedAudio();
    return {};
}

void StreamingNemotronAsrManager::processBufferedAudio() {
    decodeThenNotify([this](std::vector<std::string>& partials) {
        requireModels();
        decodeCompleteChunks(partials);
        return true;
    });
}

void StreamingNemotronAsrManager::requireModels() const {
    if (!melExtractor_ || !encoder_ || !decoder_ || !joint_) {
        throw ASRError::notInitialized();
    }
}

std::size_t StreamingNemotronAsrManager::chunkSamples() const {
    return static_cast<std::size_t>(config_.chunkMelFrames) * melHop;
}

void StreamingNemotronAsrManager::decodeCompleteChunks(std::vector<std::string>& partials) {
    const std::size_t chunk = chunkSamples();
    while (audioBuffer_.size() >= chunk) {
        processChunk(std::span(audioBuffer_).first(chunk), partials);
        audioBuffer_.erase(audioBuffer_.begin(), audioBuffer_.begin() + static_cast<std::ptrdiff_t>(chunk));
    }
}

// Finishing

std::string StreamingNemotronAsrManager::finish() {
    return decodeThenNotify([this](std::vector<std::string>& partials) { return finishLocked(partials); });
}

StreamingNemotronAsrManager::TranscriptWithTimings StreamingNemotronAsrManager::finishWithTokenTimings() {
    std::string text = finish();
    const std::lock_guard lock(mutex_);
    return {.text = std::move(text), .timings = lastFinishTokenTimings_};
}

// Every sample handed in is decoded: the complete chunks first, then the remainder padded to one chunk.
std::string StreamingNemotronAsrManager::finishLocked(std::vector<std::string>& partials) {
    if (!tokenizer_) {
        throw ASRError::notInitialized();
    }
    requireModels();
    const auto held = audioConverter_.finish();
    audioBuffer_.insert(audioBuffer_.end(), held.begin(), held.end());
    StreamingAsrUtils::processRemainingAudio(audioBuffer_, chunkSamples(),
                                             [&](std::span<const float> chunk) { processChunk(chunk, partials); });
    std::string text = transcriptLocked();
    lastFinishTokenTimings_ = std::move(accumulatedTokenTimings_);
    accumulatedTokenTimings_.clear();
    accumulatedTokenIds_.clear();
    return text;
}

// One chunk

void StreamingNemotronAsrManager::processChunk(std::span<const float> chunk, std::vector<std::string>& partials) {
    if (!melExtractor_ || !encoder_ || !decoder_ || !joint_ || !cacheChannel_ || !cacheTime_ || !cacheLen_ ||
        !hState_ || !cState_) {
        throw ASRError::notInitialized();
    }
    const auto mel = melExtractor_->melSpectrogram(chunk);
    const auto encoded = encode(*mel);
    melCache_ = extractMelCache(*mel);
    const std::size_t frames = encoded->shape()[2];

    auto h = hState_;
    auto c = cState_;
    std::int32_t last = lastToken_;
    std::vector<std::int64_t> chunkTokens;
    for (std::size_t t = 0; t < frames; ++t) {
        const auto step = timeColumn(*encoded, t);
        for (int symbols = 0; symbols < maxSymbolsPerFrame; ++symbols) {
            auto next = decodeStep(step, last, h, c);
            if (next.token == config_.blankIdx) {
                break;
            }
            emit(next.token, static_cast<std::int64_t>(t), chunkTokens);
            h = std::move(next.h);
            c = std::move(next.c);
            last = static_cast<std::int32_t>(next.token);
        }
    }
    absoluteFrameBase_ += static_cast<std::int64_t>(frames);
    lastToken_ = last;
    hState_ = std::move(h);
    cState_ = std::move(c);
    if (!chunkTokens.empty() && partialCallback_ && tokenizer_) {
        partials.push_back(transcriptLocked());
    }
    ++processedChunks_;
}

// One encoder call; its cache outputs replace the carried caches before anything else is looked at.
std::shared_ptr<MultiArray> StreamingNemotronAsrManager::encode(const MultiArray& mel) {
    const auto result = encoder_->predict(platform::ml::DictionaryFeatureProvider({
        {"mel", prependMelCache(mel)},
        {"mel_length", int32Array({1}, config_.totalMelFrames)},
        {"cache_channel", cacheChannel_},
        {"cache_time", cacheTime_},
        {"cache_len", cacheLen_},
    }));
    if (auto next = output(*result, "cache_channel_out")) {
        cacheChannel_ = std::move(next);
    }
    if (auto next = output(*result, "cache_time_out")) {
        cacheTime_ = std::move(next);
    }
    if (auto next = output(*result, "cache_len_out")) {
        cacheLen_ = std::move(next);
    }
    auto encoded = output(*result, "encoded");
    if (!encoded) {
        throw ASRError::processingFailed("Encoder failed to produce output");
    }
    return encoded;
}

std::shared_ptr<MultiArray> StreamingNemotronAsrManager::prependMelCache(const MultiArray& mel) const {
    const auto total = static_cast<std::size_t>(config_.totalMelFrames);
    const auto cached = static_cast<std::size_t>(config_.preEncodeCache);
    auto input = std::make_shared<MultiArray>(
        MultiArray::Shape{1, static_cast<std::size_t>(config_.melFeatures), total}, DataType::float32);
    std::fill_n(input->data<float>(), input->count(), 0.0f);
    if (melCache_) {
        copyFrames(*melCache_, 0, *input, 0, std::min(melCache_->shape()[2], total));
    }
    copyFrames(mel, 0, *input, cached, std::min(total - cached, mel.shape()[2]));
    return input;
}

std::shared_ptr<MultiArray> StreamingNemotronAsrManager::extractMelCache(const MultiArray& mel) const {
    const std::size_t frames = mel.shape()[2];
    const std::size_t kept = std::min(frames, static_cast<std::size_t>(config_.preEncodeCache));
    auto cache = std::make_shared<MultiArray>(MultiArray::Shape{1, mel.shape()[1], kept}, DataType::float32);
    copyFrames(mel, frames - kept, *cache, 0, kept);
    return cache;
}

// Greedy transducer decoding of one step: the fused model when loaded, else the decoder then the joint.
StreamingNemotronAsrManager::DecoderStep
StreamingNemotronAsrManager::decodeStep(const std::shared_ptr<MultiArray>& step, std::int32_t last,
                                        const std::shared_ptr<MultiArray>& h,
                                        const std::shared_ptr<MultiArray>& c) const {
    std::map<std::string, platform::ml::FeatureValue> inputs{
        {"token", int32Array({1, 1}, last)},
        {"token_length", int32Array({1}, 1)},
        {"h_in", h},
        {"c_in", c},
    };
    if (decoderJoint_) {
        inputs.emplace("encoder", step);
        const auto result = decoderJoint_->predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
        auto logits = output(*result, "logits");
        auto hOut = output(*result, "h_out");
        auto cOut = output(*result, "c_out");
        if (!logits || !hOut || !cOut) {
            throw ASRError::processingFailed("Fused decoder_joint failed");
        }
        return {.token = argmax(*logits), .h = std::move(hOut), .c = std::move(cOut)};
    }
    const auto prediction = decoder_->predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
    const auto decoderOut = output(*prediction, "decoder_out");
    auto hOut = output(*prediction, "h_out");
    auto cOut = output(*prediction, "c_out");
    if (!decoderOut || !hOut || !cOut) {
        throw ASRError::processingFailed("Decoder failed");
    }
    const auto joint = joint_->predict(platform::ml::DictionaryFeatureProvider({
        {"encoder", step},
        {"decoder", timeColumn(*decoderOut, 0)},
    }));
    const auto logits = output(*joint, "logits");
    if (!logits) {
        throw ASRError::processingFailed("Joint failed");
    }
    return {.token = argmax(*logits), .h = std::move(hOut), .c = std::move(cOut)};
}

void StreamingNemotronAsrManager::emit(std::int64_t token, std::int64_t frame, std::vector<std::int64_t>& chunkTokens) {
    accumulatedTokenIds_.push_back(token);
    chunkTokens.push_back(token);
    const double start = static_cast<double>(absoluteFrameBase_ + frame) * frameSeconds;
    const auto piece = tokenizer_ ? tokenizer_->rawToken(token) : std::nullopt;
    accumulatedTokenTimings_.push_back({
        .token = piece.value_or(""),
        .tokenId = static_cast<int>(token),
        .startTime = start,
        .endTime = start + frameSeconds,
        .confidence = 1.0f,
    });
}

// Transcript

std::string StreamingNemotronAsrManager::getPartialTranscript() const {
    const std::lock_guard lock(mutex_);
    return transcriptLocked();
}

std::string StreamingNemotronAsrManager::transcriptLocked() const {
    return tokenizer_ ? tokenizer_->decode(accumulatedTokenIds_) : std::string();
}

std::vector<TokenTiming> StreamingNemotronAsrManager::getTokenTimings() const {
    const std::lock_guard lock(mutex_);
    return accumulatedTokenTimings_;
}

} // namespace quorl
