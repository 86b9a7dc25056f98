#pragma once

#include "QuorlAudio/asr/other/SenseVoiceModels.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"

#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>

namespace quorl {

class AppLogger;

// Multilingual speech to text with the SenseVoice models, one whole utterance per call: the preprocessor turns
// the scaled waveform into feature frames, the encoder reads them in a fixed-length bucket together with a
// language and a text-normalisation prompt, and its CTC scores are decoded greedily; the model's <|…|> markers
// are removed from the text. Transcriptions on one manager run one at a time; a failure leaves it usable.
class SenseVoiceManager {
public:
    SenseVoiceManager(SenseVoiceModels models, std::int32_t language, std::int32_t textNorm);

    // Downloads the precision's models when missing (progress 0 to 0.5 while fetching) and loads them, with the
    // default language and text-normalisation ids.
    static std::shared_ptr<SenseVoiceManager> load(SenseVoiceEncoderPrecision precision,
                                                   const ProgressHandler& progressHandler = {});

    std::int32_t language() const { return language_; }
    std::int32_t textNorm() const { return textNorm_; }

    // The whole file converted to 16 kHz mono, transcribed.
    std::string transcribe(const std::filesystem::path& audioURL);
    // 16 kHz mono samples (nominally -1 to 1) to text. At most 1800 feature frames are encoded; later ones are
    // dropped with a warning. Model failures pass through; a model that leaves out its output fails with
    // ASRError::processingFailed.
    std::string transcribe(std::span<const float> audio);

private:
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    Array runPreprocessor(std::span<const float> audio) const;
    // The CTC scores and how many of their frames are valid.
    std::pair<Array, std::size_t> runEncoder(const platform::ml::MultiArray& features) const;
    std::string decode(const platform::ml::MultiArray& logits, std::size_t validFrames) const;

    static const AppLogger& logger();

    const SenseVoiceModels models_;
    const std::int32_t language_;
    const std::int32_t textNorm_;
    std::mutex mutex_;
};

} // namespace quorl
