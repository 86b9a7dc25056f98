#include "QuorlAudio/asr/other/SenseVoiceManager.hpp"

#include "QuorlAudio/asr/biasing/CtcDecoding.hpp"
#include "QuorlAudio/asr/other/ModelArrays.hpp"
#include "QuorlAudio/asr/other/SenseVoiceConfig.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/BestScoreIndex.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Config = SenseVoiceConfig;

constexpr auto featureDim = static_cast<std::size_t>(Config::featureDim);

std::size_t dimension(const MultiArray& array, std::size_t axis) {
    return array.shape().size() > axis ? array.shape()[axis] : 0;
}

// The model's markers (language, emotion, event and normalisation tags) are written "<|…|>" and are no words.
std::string withoutMarkers(const std::string& text) {
    static const platform::text::Regex marker(R"(<\|[^|]*\|>)");
    std::string kept;
    std::size_t copied = 0;
    for (const auto& match : marker.matches(text)) {
        const auto range = match.range();
        kept.append(text, copied, range.start - copied);
        copied = range.end;
    }
    kept.append(text, copied);
    return std::string(platform::text::trimmingBlanks(std::string_view(kept)));
}

// Best ids collapsed the CTC way: blanks dropped, and a repeat dropped only when the frame before held the same
// id (so an id repeated across a blank counts twice).
std::vector<int> collapsed(const MultiArray& logits, std::size_t frames) {
    std::vector<int> ids;
    std::optional<int> previous;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto best = static_cast<int>(platform::ml::bestScoreIndex(logits, frame));
        if (best != Config::blankId && best != previous) {
            ids.push_back(best);
        }
        previous = best;
    }
    return ids;
}

} // namespace

SenseVoiceManager::SenseVoiceManager(SenseVoiceModels models, std::int32_t language, std::int32_t textNorm)
    : models_(std::move(models)), language_(language), textNorm_(textNorm) {}

const AppLogger& SenseVoiceManager::logger() {
    static const AppLogger instance("SenseVoiceManager");
    return instance;
}

std::shared_ptr<SenseVoiceManager> SenseVoiceManager::load(SenseVoiceEncoderPrecision precision,
                                                           const ProgressHandler& progressHandler) {
    const auto folder = SenseVoiceModels::download({.precision = precision}, progressHandler);
    return std::make_shared<SenseVoiceManager>(SenseVoiceModels::load(folder, precision), Config::defaultLanguage,
                                               Config::defaultTextNorm);
}

std::string SenseVoiceManager::transcribe(const std::filesystem::path& audioURL) {
    const AudioConverter converter(static_cast<double>(Config::sampleRate));
    return transcribe(converter.resampleAudioFile(audioURL));
}

std::string SenseVoiceManager::transcribe(std::span<const float> audio) {
    std::lock_guard lock(mutex_);
    const auto features = runPreprocessor(audio);
    const auto [logits, validFrames] = runEncoder(*features);
    return decode(*logits, validFrames);
}

SenseVoiceManager::Array SenseVoiceManager::runPreprocessor(std::span<const float> audio) const {
    auto waveform = float32Zeros({1, audio.size()});
    std::ranges::transform(audio, waveform->data<float>(), [](float sample) { return sample * Config::waveformScale; });
    return predictOutput(*models_.preprocessor, {{"waveform", FeatureValue(waveform)}}, "features",
                         "SenseVoice preprocessor");
}

std::pair<SenseVoiceManager::Array, std::size_t> SenseVoiceManager::runEncoder(const MultiArray& features) const {
    auto frames = static_cast<int>(dimension(features, 1));
    if (frames > Config::maxFrames) {
        logger().warning(concatenated({"Audio exceeds max length; truncating ", std::to_string(frames), " \u2192 ",
                                       std::to_string(Config::maxFrames), " frames"}));
        frames = Config::maxFrames;
    }
    const auto bucket = static_cast<std::size_t>(Config::pickBucket(frames));
    auto speech = float32Zeros({1, bucket, featureDim});
    copyLeading(features, static_cast<std::size_t>(frames) * featureDim, floats(*speech));
    auto logits = predictOutput(*models_.encoder,
                                {{"speech", FeatureValue(speech)},
                                 {"speech_lengths", FeatureValue(int32Scalar(frames))},
                                 {"language", FeatureValue(int32Scalar(language_))},
                                 {"textnorm", FeatureValue(int32Scalar(textNorm_))}},
                                "ctc_logits", "SenseVoice encoder");
    return {std::move(logits), static_cast<std::size_t>(frames + Config::numQueryTokens)};
}

std::string SenseVoiceManager::decode(const MultiArray& logits, std::size_t validFrames) const {
    if (logits.shape().size() < 3) {
        return "";
    }
    const auto ids = collapsed(logits, std::min(dimension(logits, 1), validFrames));
    return withoutMarkers(decodeCtcTokenIds(ids, models_.vocabulary));
}

} // namespace quorl
