#include "QuorlAudio/asr/multilingual/NemotronMultilingualSpeculativeDecoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <limits>
#include <optional>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

// The width of a projected encoder frame, and so of a batch row, in every model of the family.
constexpr std::size_t projectedWidth = 640;
constexpr const char* projectionFailure = "Speculative encoder_proj is not [1, frames, 640]";
constexpr const char* decoderFailure = "Speculative decoder failed";
constexpr const char* jointFailure = "Speculative joint_noencproj_batched failed";

std::shared_ptr<MultiArray> required(const platform::ml::FeatureProvider& outputs, const std::string& name,
                                     const char* failure) {
    auto array = platform::ml::multiArrayOutput(outputs, name);
    if (!array) {
        throw ASRError::processingFailed(failure);
    }
    return array;
}

std::shared_ptr<MultiArray> int32Array(const MultiArray::Shape& shape, std::int32_t value) {
    auto array = std::make_shared<MultiArray>(shape, DataType::int32);
    array->data<std::int32_t>()[0] = value;
    return array;
}

float elementAsFloat(const MultiArray& array, std::size_t offset) {
    if (array.dataType() == DataType::float16) {
        return static_cast<float>(array.data<_Float16>()[offset]);
    }
    return array.data<float>()[offset];
}

std::size_t frameCount(const MultiArray& encoded) { return encoded.shape().size() == 3 ? encoded.shape()[2] : 0; }

} // namespace

struct NemotronMultilingualSpeculativeDecoder::Window {
    // The first row whose best token is not the blank, with that token; none when all rows are blank.
    std::optional<std::size_t> hitRow;
    std::int64_t token;
    NemotronMultilingualDecoderState chosenBy;
};

std::vector<std::int64_t>
NemotronMultilingualSpeculativeDecoder::decodeChunk(const MultiArray& encoded, const MultiArray& encoderProj,
                                                    NemotronMultilingualDecoderState& state) const {
    const std::size_t frames = frameCount(encoded);
    const auto& shape = encoderProj.shape();
    if (shape.size() != 3 || shape[2] != projectedWidth || shape[1] < frames) {
        throw ASRError::processingFailed(projectionFailure);
    }
    const auto k = static_cast<std::size_t>(std::max<std::int64_t>(context_.greedy.models.jointNoEncProjBatchedK, 1));
    std::vector<std::int64_t> emitted;
    for (std::size_t t = 0; t < frames;) {
        const std::size_t w = std::min(frames - t, k);
        const Window window = scoreWindow(encoderProj, t, w, state);
        ++context_.statistics.specWindowsTotal;
        if (!window.hitRow) {
            ++context_.statistics.specWindowsAllBlank;
            t += w;
            continue;
        }
        ++context_.statistics.specWindowsHitNonBlank;
        const std::size_t hit = t + *window.hitRow;
        greedy_.emitToken(window.token, window.chosenBy, hit, state, emitted, jointFailure);
        greedy_.drainFrame(hit, encoded, encoderProj, state, emitted);
        t = hit + 1;
    }
    return emitted;
}

MultiArray& NemotronMultilingualSpeculativeDecoder::batchBuffer(std::size_t k) const {
    auto& buffer = context_.batchBuffer;
    if (!buffer || buffer->shape()[1] != k) {
        buffer = std::make_shared<MultiArray>(MultiArray::Shape{1, k, projectedWidth}, DataType::float32);
    }
    return *buffer;
}

NemotronMultilingualSpeculativeDecoder::Window
NemotronMultilingualSpeculativeDecoder::scoreWindow(const MultiArray& encoderProj, std::size_t t, std::size_t w,
                                                    const NemotronMultilingualDecoderState& state) const {
    const auto& models = context_.greedy.models;
    const auto& buffers = context_.greedy.buffers;
    std::shared_ptr<MultiArray> token = buffers.tokenInput;
    if (token) {
        token->at<std::int32_t>(0) = state.token;
    } else {
        token = int32Array({1, 1}, state.token);
    }
    const auto decoded = models.decoder->predict(
        platform::ml::DictionaryFeatureProvider({
            {"token", FeatureValue(token)},
            {"token_length", FeatureValue(buffers.tokenLength ? buffers.tokenLength : int32Array({1}, 1))},
            {"h_in", FeatureValue(state.h)},
            {"c_in", FeatureValue(state.c)},
        }),
        models.decoderPredictionOptions.value_or(platform::ml::PredictionOptions{}));
    const auto decoderOut = required(*decoded, "decoder_out", decoderFailure);
    Window window{.hitRow = std::nullopt,
                  .token = 0,
                  .chosenBy = {.token = state.token,
                               .h = required(*decoded, "h_out", decoderFailure),
                               .c = required(*decoded, "c_out", decoderFailure)}};
    const auto cut = NemotronMultilingualGreedyDecoder::sliceDecoderOutput(*decoderOut);

    const std::size_t k = static_cast<std::size_t>(std::max<std::int64_t>(models.jointNoEncProjBatchedK, 1));
    MultiArray& batch = batchBuffer(k);
    fillBatch(batch, encoderProj, t, w);
    const auto joined = models.jointNoEncProjBatched->predict(
        platform::ml::DictionaryFeatureProvider({
            {"encoder_proj", FeatureValue(context_.batchBuffer)},
            {"decoder", FeatureValue(cut)},
        }),
        models.jointNoEncProjBatchedPredictionOptions.value_or(platform::ml::PredictionOptions{}));
    const auto logits = required(*joined, "logits", jointFailure);
    if (logits->shape().size() != 4 || logits->shape()[1] < w || logits->shape()[3] == 0) {
        throw ASRError::processingFailed(jointFailure);
    }
    const auto blank = context_.greedy.config.blankIdx;
    for (std::size_t row = 0; row < w; ++row) {
        const std::int64_t best = bestToken(*logits, row, blank);
        if (best != blank) {
            window.hitRow = row;
            window.token = best;
            break;
        }
    }
    return window;
}

void NemotronMultilingualSpeculativeDecoder::fillBatch(MultiArray& batch, const MultiArray& encoderProj, std::size_t t,
                                                       std::size_t w) {
    float* rows = batch.data<float>();
    const std::size_t k = batch.shape()[1];
    const auto& strides = encoderProj.strides();
    for (std::size_t row = 0; row < k; ++row) {
        float* destination = rows + row * projectedWidth;
        if (row >= w) {
            std::fill_n(destination, projectedWidth, 0.0F);
            continue;
        }
        for (std::size_t channel = 0; channel < projectedWidth; ++channel) {
            destination[channel] = elementAsFloat(encoderProj, strides[1] * (t + row) + strides[2] * channel);
        }
    }
}

std::int64_t NemotronMultilingualSpeculativeDecoder::bestToken(const MultiArray& logits, std::size_t row,
                                                               std::int64_t blank) {
    const std::size_t vocabulary = logits.shape()[3];
    const std::size_t start = logits.strides()[1] * row;
    const std::size_t step = logits.strides()[3];
    if (logits.dataType() == DataType::float32 && step == 1) {
        return static_cast<std::int64_t>(platform::dsp::maxWithIndex(logits.data<float>() + start, vocabulary).index);
    }
    float best = std::numeric_limits<float>::lowest();
    std::int64_t bestIndex = blank;
    for (std::size_t entry = 0; entry < vocabulary; ++entry) {
        const float value = elementAsFloat(logits, start + step * entry);
        if (value > best) {
            best = value;
            bestIndex = static_cast<std::int64_t>(entry);
        }
    }
    return bestIndex;
}

} // namespace quorl
