#include "QuorlAudio/asr/multilingual/NemotronMultilingualLookAhead.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/sys/Environment.hpp"

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

std::shared_ptr<MultiArray> int32Scalar(std::int64_t value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

} // namespace

std::optional<NemotronMultilingualPrefetchedChunk> NemotronMultilingualLookAhead::prefetchNextChunk() const {
    if (!applies()) {
        return std::nullopt;
    }
    const auto mel = melExtractor->melSpectrogram(*nextChunkSamples);
    // A plain prediction with default options: the stream's own options back outputs the current chunk still
    // holds.
    const auto outputs = encoder->predict(platform::ml::DictionaryFeatureProvider({
        {"mel", FeatureValue(NemotronMultilingualMelCache::prepend(melCache.get(), *mel, geometry))},
        {"mel_length", FeatureValue(int32Scalar(geometry.totalMelFrames))},
        {"cache_channel", FeatureValue(cacheChannel)},
        {"cache_time", FeatureValue(cacheTime)},
        {"cache_len", FeatureValue(cacheLen)},
        {"prompt_id", FeatureValue(int32Scalar(promptId))},
    }));
    NemotronMultilingualPrefetchedChunk chunk{
        .encoded = platform::ml::multiArrayOutput(*outputs, "encoded"),
        .encoderProj = nullptr,
        .cacheChannel = platform::ml::multiArrayOutput(*outputs, "cache_channel_out"),
        .cacheTime = platform::ml::multiArrayOutput(*outputs, "cache_time_out"),
        .cacheLen = platform::ml::multiArrayOutput(*outputs, "cache_len_out"),
        .newMelCache = nullptr,
    };
    if (!chunk.encoded || !chunk.cacheChannel || !chunk.cacheTime || !chunk.cacheLen) {
        return std::nullopt;
    }
    chunk.encoderProj = platform::ml::multiArrayOutput(*outputs, "encoder_proj");
    chunk.newMelCache = NemotronMultilingualMelCache::extract(*mel, geometry);
    return chunk;
}

bool NemotronMultilingualLookAhead::applies() const {
    if (!nextChunkSamples || platform::sys::environmentValue("QUORLAUDIO_DISABLE_TRIPLE_STAGE") || statefulEncoder ||
        !cacheChannel || !cacheTime || !cacheLen || !melExtractor || !encoder) {
        return false;
    }
    return !(gate.enabled() && gate.quiet(*nextChunkSamples));
}

} // namespace quorl
