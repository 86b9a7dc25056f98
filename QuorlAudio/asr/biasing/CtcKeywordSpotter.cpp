#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "QuorlAudio/asr/biasing/CtcDPAlgorithm.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace quorl {

namespace ml = platform::ml;

namespace {

constexpr float ln2 = 0.6931472f;

std::vector<float> logSoftmax(std::vector<float> row, float temperature) {
    if (row.empty()) {
        return row;
    }
    if (temperature != 1.0f) {
        for (float& value : row) {
            value /= temperature;
        }
    }
    const float m = *std::max_element(row.begin(), row.end());
    float s = 0.0f;
    for (const float value : row) {
        s += std::exp(value - m);
    }
    const float logSum = std::log(s);
    for (float& value : row) {
        value = value - m - logSum;
    }
    return row;
}

void applyBlankBias(std::vector<float>& row, std::int64_t blankId, float blankBias) {
    if (blankBias != 0.0f && blankId >= 0 && blankId < static_cast<std::int64_t>(row.size())) {
        row[static_cast<std::size_t>(blankId)] -= blankBias;
    }
}

std::shared_ptr<ml::MultiArray> scalarInt32(std::int64_t value) {
    auto array = std::make_shared<ml::MultiArray>(ml::MultiArray::Shape{1}, ml::DataType::int32);
    array->setValue(0, static_cast<double>(value));
    return array;
}

std::string shapeText(const ml::MultiArray::Shape& shape) {
    std::string text = "[";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(shape[i]);
    }
    return text + "]";
}

// The mel frames the encoder is told about: "mel_length" when the model gives it, else the features' last
// dimension; four-dimensional features carry it in dimension 2 whatever "mel_length" says.
std::optional<std::int64_t> melLengthOf(const ml::FeatureProvider& melOutput, const ml::MultiArray& features) {
    std::optional<std::int64_t> length;
    const auto reported = melOutput.featureValue("mel_length");
    if (reported && reported->multiArrayValue()) {
        length = static_cast<std::int64_t>(reported->multiArrayValue()->value(0));
    } else if (!features.shape().empty()) {
        length = static_cast<std::int64_t>(features.shape().back());
    }
    if (features.shape().size() == 4) {
        length = static_cast<std::int64_t>(features.shape()[2]);
    }
    return length;
}

ml::DictionaryFeatureProvider makeEncoderInput(std::shared_ptr<ml::MultiArray> melFeatures,
                                               std::optional<std::int64_t> melLength) {
    if (!melLength && !melFeatures->shape().empty()) {
        melLength = static_cast<std::int64_t>(melFeatures->shape().back());
    }
    if (!melLength || *melLength < 1) {
        throw ASRError::processingFailed("Invalid mel_length for CTC encoder input");
    }
    auto one = std::make_shared<ml::MultiArray>(ml::MultiArray::Shape{1, 1, 1, 1}, ml::DataType::float16);
    one->setValue(0, 1.0);
    return ml::DictionaryFeatureProvider({{"melspectrogram_features", ml::FeatureValue(std::move(melFeatures))},
                                          {"mel_length", ml::FeatureValue(scalarInt32(*melLength))},
                                          {"input_1", ml::FeatureValue(std::move(one))}});
}

std::shared_ptr<ml::MultiArray> ctcOutputOf(const ml::FeatureProvider& encoderOutput) {
    for (const char* name : {"ctc_head_raw_output", "ctc_head_output"}) {
        const auto value = encoderOutput.featureValue(name);
        if (value && value->multiArrayValue()) {
            return value->multiArrayValue();
        }
    }
    throw ASRError::processingFailed(
        "Missing CTC head output from encoder model (expected ctc_head_raw_output or ctc_head_output)");
}

// [start, end) sample ranges of windows of `window` samples starting every `stride` samples.
std::vector<std::pair<std::size_t, std::size_t>> windowRanges(std::size_t count, std::size_t window,
                                                              std::size_t stride) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t start = 0; start < count; start += stride) {
        ranges.emplace_back(start, std::min(count, start + window));
        if (start + window >= count) {
            break;
        }
    }
    return ranges;
}

// The log of the mean of the two probabilities, over the shorter row.
std::vector<float> averageInProbability(const std::vector<float>& first, const std::vector<float>& second) {
    std::vector<float> combined(std::min(first.size(), second.size()));
    for (std::size_t i = 0; i < combined.size(); ++i) {
        const float a = first[i];
        const float b = second[i];
        const float m = std::max(a, b);
        combined[i] =
            m == -std::numeric_limits<float>::infinity() ? m : m + std::log(std::exp(a - m) + std::exp(b - m)) - ln2;
    }
    return combined;
}

void mergeWindow(CtcKeywordSpotter::Rows& merged, const CtcKeywordSpotter::Rows& window, std::size_t overlapFrames) {
    if (merged.empty()) {
        merged = window;
        return;
    }
    const std::size_t k = std::min(merged.size(), overlapFrames);
    const std::size_t j0 = std::min(window.size(), k);
    for (std::size_t j = 0; j < j0; ++j) {
        auto& row = merged[merged.size() - j0 + j];
        if (!row.empty() && !window[j].empty()) {
            row = averageInProbability(row, window[j]);
        }
    }
    if (k < window.size()) {
        merged.insert(merged.end(), window.begin() + static_cast<std::ptrdiff_t>(j0), window.end());
    }
}

// The caller's threshold, relaxed by one per token beyond the third.
float thresholdOf(std::size_t tokenCount, std::optional<float> minScore) {
    if (!minScore) {
        return ContextBiasingConstants::defaultMinSpotterScore;
    }
    const auto extra = std::max<std::int64_t>(0, static_cast<std::int64_t>(tokenCount) -
                                                     ContextBiasingConstants::baselineTokenCountForThreshold);
    return *minScore - ContextBiasingConstants::thresholdRelaxationPerToken * static_cast<float>(extra);
}

} // namespace

struct CtcKeywordSpotter::AudioWindow {
    std::shared_ptr<ml::MultiArray> array;
    std::int64_t count;
};

CtcKeywordSpotter::CtcKeywordSpotter(CtcModels models, std::int64_t blankId)
    : models_(std::move(models)), blankId_(blankId), temperature_(ContextBiasingConstants::ctcTemperature),
      blankBias_(ContextBiasingConstants::blankBias) {}

CtcKeywordSpotter::Rows CtcKeywordSpotter::applyLogSoftmax(const Rows& rawLogits, std::int64_t blankId,
                                                           float temperature, float blankBias) {
    Rows rows;
    rows.reserve(rawLogits.size());
    for (const auto& raw : rawLogits) {
        rows.push_back(logSoftmax(raw, temperature));
        applyBlankBias(rows.back(), blankId, blankBias);
    }
    return rows;
}

CtcKeywordSpotter::AudioWindow CtcKeywordSpotter::prepareAudioArray(std::span<const float> audioSamples) const {
    const auto n = std::min(static_cast<std::int64_t>(audioSamples.size()), maxModelSamples);
    const auto& inputs = models_.melSpectrogram->description().inputDescriptionsByName;
    const auto audio = inputs.find("audio");
    const auto* constraint =
        audio != inputs.end() && audio->second.multiArrayConstraint ? &*audio->second.multiArrayConstraint : nullptr;
    const bool twoDimensional = constraint != nullptr && constraint->shape.size() == 2;
    const auto dataType = constraint != nullptr && constraint->dataType == ml::DataType::float16
                              ? ml::DataType::float16
                              : ml::DataType::float32;
    const auto window = static_cast<std::size_t>(maxModelSamples);
    // Created zero-filled, so the model never sees stale memory past the real samples.
    auto array = std::make_shared<ml::MultiArray>(
        twoDimensional ? ml::MultiArray::Shape{1, window} : ml::MultiArray::Shape{window}, dataType);
    for (std::int64_t i = 0; i < n; ++i) {
        array->setValue(static_cast<std::size_t>(i), audioSamples[static_cast<std::size_t>(i)]);
    }
    return {std::move(array), n};
}

CtcKeywordSpotter::Rows CtcKeywordSpotter::makeLogProbs(const ml::MultiArray& output) const {
    const auto& shape = output.shape();
    if (shape.size() != 3 && shape.size() != 4) {
        throw ASRError::processingFailed("Unexpected CTC output rank: " + shapeText(shape));
    }
    const bool rank3 = shape.size() == 3;
    const std::size_t frames = rank3 ? shape[1] : shape[3];
    const std::size_t vocabulary = rank3 ? shape[2] : shape[1];
    Rows rows;
    if (frames < 1 || vocabulary < 1) {
        return rows;
    }
    rows.reserve(frames);
    for (std::size_t t = 0; t < frames; ++t) {
        std::vector<float> row(vocabulary);
        for (std::size_t v = 0; v < vocabulary; ++v) {
            const std::size_t linear = rank3 ? t * vocabulary + v : v * frames + t;
            row[v] = static_cast<float>(output.value(linear));
        }
        rows.push_back(logSoftmax(std::move(row), temperature_));
        applyBlankBias(rows.back(), blankId_, blankBias_);
    }
    return rows;
}

CtcKeywordSpotter::Rows CtcKeywordSpotter::trimLogProbs(Rows rows, std::int64_t audioSampleCount) {
    if (rows.empty() || audioSampleCount >= maxModelSamples) {
        return rows;
    }
    const auto frames = static_cast<std::int64_t>(rows.size());
    const double samplesPerFrame = static_cast<double>(maxModelSamples) / static_cast<double>(frames);
    const auto valid = static_cast<std::int64_t>(std::ceil(static_cast<double>(audioSampleCount) / samplesPerFrame));
    rows.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(valid, 1, frames)));
    return rows;
}

CtcKeywordSpotter::CtcLogProbResult
CtcKeywordSpotter::computeWithStagedModels(std::span<const float> audioSamples) const {
    auto window = prepareAudioArray(audioSamples);
    const ml::DictionaryFeatureProvider audioFeatures(
        {{"audio", ml::FeatureValue(window.array)}, {"audio_length", ml::FeatureValue(scalarInt32(window.count))}});
    const auto melOutput = models_.melSpectrogram->predict(audioFeatures);
    const auto melValue = melOutput->featureValue("melspectrogram_features");
    if (!melValue || !melValue->multiArrayValue()) {
        throw ASRError::processingFailed("Missing melspectrogram_features from CTC MelSpectrogram model");
    }
    auto melFeatures = melValue->multiArrayValue();
    const auto melLength = melLengthOf(*melOutput, *melFeatures);
    const auto encoderOutput = models_.encoder->predict(makeEncoderInput(std::move(melFeatures), melLength));
    auto rows = trimLogProbs(makeLogProbs(*ctcOutputOf(*encoderOutput)), window.count);
    const auto kept = static_cast<std::int64_t>(rows.size());
    const double frameDuration =
        kept == 0 ? 0.0 : static_cast<double>(window.count) / static_cast<double>(kept) / sampleRate;
    return {.logProbs = std::move(rows),
            .frameDuration = frameDuration,
            .totalFrames = kept,
            .audioSamplesUsed = window.count};
}

CtcKeywordSpotter::CtcLogProbResult
CtcKeywordSpotter::computeLogProbsChunked(std::span<const float> audioSamples) const {
    std::vector<CtcLogProbResult> windows;
    for (const auto& [start, end] :
         windowRanges(audioSamples.size(), maxModelSamples, maxModelSamples - chunkOverlapSamples)) {
        windows.push_back(computeWithStagedModels(audioSamples.subspan(start, end - start)));
    }
    if (windows.empty() || !(windows.front().frameDuration > 0.0)) {
        return {};
    }
    const double frameDuration = windows.front().frameDuration;
    const auto overlapFrames = static_cast<std::size_t>(static_cast<double>(chunkOverlapSamples) /
                                                        static_cast<double>(sampleRate) / frameDuration);
    Rows merged;
    for (const auto& window : windows) {
        if (!window.logProbs.empty()) {
            mergeWindow(merged, window.logProbs, overlapFrames);
        }
    }
    const auto total = static_cast<std::int64_t>(merged.size());
    return {.logProbs = std::move(merged),
            .frameDuration = frameDuration,
            .totalFrames = total,
            .audioSamplesUsed = static_cast<std::int64_t>(audioSamples.size())};
}

CtcKeywordSpotter::SpotKeywordsResult
CtcKeywordSpotter::spotKeywordsWithLogProbs(std::span<const float> audioSamples,
                                            const CustomVocabularyContext& customVocabulary,
                                            std::optional<float> minScore) const {
    if (audioSamples.empty()) {
        return {};
    }
    auto computed = static_cast<std::int64_t>(audioSamples.size()) > maxModelSamples
                        ? computeLogProbsChunked(audioSamples)
                        : computeWithStagedModels(audioSamples);
    if (computed.logProbs.empty()) {
        return {};
    }
    auto detections = detect(computed.logProbs, computed.frameDuration, customVocabulary, minScore);
    return {.detections = std::move(detections),
            .logProbs = std::move(computed.logProbs),
            .frameDuration = computed.frameDuration,
            .totalFrames = computed.totalFrames};
}

CtcKeywordSpotter::SpotKeywordsResult
CtcKeywordSpotter::spotKeywordsFromLogProbs(const Rows& logProbs, double frameDuration,
                                            const CustomVocabularyContext& customVocabulary,
                                            std::optional<float> minScore) const {
    if (logProbs.empty()) {
        return {};
    }
    return {.detections = detect(logProbs, frameDuration, customVocabulary, minScore),
            .logProbs = logProbs,
            .frameDuration = frameDuration,
            .totalFrames = static_cast<std::int64_t>(logProbs.size())};
}

std::vector<CtcKeywordSpotter::KeywordDetection>
CtcKeywordSpotter::detect(const Rows& logProbs, double frameDuration, const CustomVocabularyContext& customVocabulary,
                          std::optional<float> minScore) const {
    const auto totalFrames = static_cast<std::int64_t>(logProbs.size());
    std::vector<KeywordDetection> detections;
    for (const auto& term : customVocabulary.terms) {
        if (static_cast<std::int64_t>(characterCount(term.text())) < customVocabulary.minTermLength) {
            continue;
        }
        const auto* tokens = term.keywordTokens();
        if (tokens == nullptr) {
            continue;
        }
        for (const auto& hit : CtcDPAlgorithm::ctcWordSpotMultiple(
                 logProbs, *tokens, thresholdOf(tokens->size(), minScore), true, blankId_)) {
            detections.push_back({.term = term,
                                  .score = hit.score,
                                  .totalFrames = totalFrames,
                                  .startFrame = hit.startFrame,
                                  .endFrame = hit.endFrame,
                                  .startTime = static_cast<double>(hit.startFrame) * frameDuration,
                                  .endTime = static_cast<double>(hit.endFrame) * frameDuration});
        }
    }
    return detections;
}

CtcKeywordSpotter::ConstrainedMatch
CtcKeywordSpotter::ctcWordSpotConstrained(const Rows& logProbs, const std::vector<std::int64_t>& keywordTokens,
                                          std::int64_t searchStartFrame, std::int64_t searchEndFrame) const {
    const std::int64_t start = std::max<std::int64_t>(0, searchStartFrame);
    const std::int64_t end = std::min(searchEndFrame, static_cast<std::int64_t>(logProbs.size()));
    const auto n = keywordTokens.size();
    const ConstrainedMatch none{-std::numeric_limits<float>::infinity(), start, start};
    if (n == 0 || end <= start || static_cast<std::size_t>(end - start) < n) {
        return none;
    }
    const Rows window(logProbs.begin() + start, logProbs.begin() + end);
    const auto tables = CtcDPAlgorithm::fillDPTable(window, keywordTokens, blankId_);
    float best = CtcDPAlgorithm::unreachableScore;
    std::size_t bestRow = 0;
    for (std::size_t row = n; row <= window.size(); ++row) {
        if (tables.dp[row][n] > best) {
            best = tables.dp[row][n];
            bestRow = row;
        }
    }
    const auto realTokens = CtcDPAlgorithm::nonWildcardCount(keywordTokens);
    const float score = realTokens < 1 ? best : best / static_cast<float>(realTokens);
    return {score, start + tables.backtrack[bestRow][n], start + tables.lastMatch[bestRow][n]};
}

} // namespace quorl
