#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/AsrTokenText.hpp"
#include "QuorlAudio/asr/batch/TdtHypothesis.hpp"
#include "QuorlAudio/asr/batch/TdtWindowContext.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// One bound model set and what is done with one window of it: preprocessor, encoder (absent for a fused set)
// and the TDT decoder of the set's version, and the text of the tokens. The batch recogniser decodes its short
// audio and its chunks through it; the sliding-window recogniser decodes its windows through the same object
// of its inner batch recogniser, so neither recogniser reaches into the other.
//
// One mutex guards the bindings. It is held only while they are read or written, never across predictions or
// decoding, and the models are read at the moments the steps need them: an unbind during a window may let
// that window fail with ASRError::notInitialized.
class AsrWindowInference {
public:
    using Vocabulary = AsrTokenText::Vocabulary;

    // One window of at most 240000 samples. `originalLength` is the number of valid samples ("audio_length");
    // `actualAudioFrames` the frames of real audio (by default the valid samples in encoder frames, rounded
    // up). The samples are followed by zeros up to `paddedLength` (their own length when absent): the zeros
    // are those of the pooled input array, so short audio is never copied into a padded buffer first. The
    // language hint, the emit-after frame and the start override of the context are honoured by v3 sets only.
    struct Request {
        std::span<const float> samples;
        std::optional<int> originalLength = std::nullopt;
        std::optional<int> actualAudioFrames = std::nullopt;
        std::optional<std::size_t> paddedLength = std::nullopt;
        TdtWindowContext context;
    };

    // What one window's inference produced: the decoder's hypothesis and element 0 of "encoder_length".
    struct InferenceResult {
        TdtHypothesis hypothesis;
        int encoderSequenceLength;
    };

    struct FrameAlignedAudio {
        std::vector<float> samples;
        int frameAlignedLength;
    };

    // `logger` carries the owning recogniser's category.
    AsrWindowInference(AppLogger logger, ASRConfig config);
    AsrWindowInference(const AsrWindowInference&) = delete;
    AsrWindowInference& operator=(const AsrWindowInference&) = delete;

    // The bound models; each may be replaced on its own.
    std::shared_ptr<platform::ml::Model> preprocessorModel() const;
    void setPreprocessorModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> encoderModel() const;
    void setEncoderModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> decoderModel() const;
    void setDecoderModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> jointModel() const;
    void setJointModel(std::shared_ptr<platform::ml::Model> model);
    std::optional<AsrModels> asrModels() const;
    void setAsrModels(std::optional<AsrModels> models);
    Vocabulary vocabulary() const;
    void setVocabulary(Vocabulary vocabulary);
    // The options of the preprocessor and encoder predictions: made on first use (no output backings), then
    // kept.
    std::shared_ptr<platform::ml::PredictionOptions> predictionOptions();
    void setPredictionOptions(std::shared_ptr<platform::ml::PredictionOptions> options);

    // Binds the set, its models and its vocabulary.
    void bind(const AsrModels& models);
    // Drops the models and the set; the vocabulary stays.
    void unbind();

    // The bound set's version; none without a set.
    std::optional<AsrModelVersion> modelVersion() const;
    // Recurrent layers of a decoder state for the bound set: its version's, 2 without a set.
    int decoderLayerCount() const;
    // Whether decoder and joint are bound with the front end the set needs: the preprocessor alone for a fused
    // set (or without a set), preprocessor and encoder otherwise.
    bool isAvailable() const;

    // Text, timings and confidence against the vocabulary bound now.
    AsrTokenText tokenText() const;

    // Preprocessor, encoder and decoder over the window, continuing from the context's decoder state and
    // leaving it updated. The input array borrowed from the shared pool goes back to it however the call ends.
    InferenceResult executeMLInferenceWithTimings(const Request& request);
    // "audio_signal" [1, N] (a pooled array holding the samples) and "audio_length" [1] (`actualLength`, else
    // N). The caller gives the pooled array back to sharedMLArrayCache.
    platform::ml::DictionaryFeatureProvider preparePreprocessorInput(std::span<const float> samples,
                                                                     std::optional<int> actualLength) const;
    // With alignment allowed, samples short of a whole encoder frame are zero-padded to the next multiple of
    // 1280 when that stays within one window; the length returned is that of the samples returned.
    static FrameAlignedAudio frameAlignedAudio(std::vector<float> samples, bool allowAlignment);
    // The length frameAlignedAudio gives `count` samples.
    static std::size_t frameAlignedLength(std::size_t count, bool allowAlignment);
    // The named feature's array, as the window reads "encoder" and "encoder_length"; ASRError::processingFailed
    // with `errorMessage` when the feature is missing or not an array.
    static std::shared_ptr<platform::ml::MultiArray> extractFeatureValue(const platform::ml::FeatureProvider& provider,
                                                                         const std::string& key,
                                                                         const std::string& errorMessage);

private:
    // What decoding needs of the bound set, read together.
    struct DecoderBinding {
        AsrModelVersion version;
        std::shared_ptr<platform::ml::Model> decoder;
        std::shared_ptr<platform::ml::Model> joint;
        std::shared_ptr<const Vocabulary> vocabulary;
    };

    std::shared_ptr<const Vocabulary> vocabularySnapshot() const;
    DecoderBinding decoderBinding() const;
    platform::ml::DictionaryFeatureProvider preparePaddedInput(std::span<const float> samples, std::size_t windowLength,
                                                               std::optional<int> actualLength) const;
    std::shared_ptr<const platform::ml::FeatureProvider> runFrontEnd(const platform::ml::FeatureProvider& input);
    TdtHypothesis decode(const std::shared_ptr<const platform::ml::MultiArray>& encoderOutput,
                         int encoderSequenceLength, int actualAudioFrames, const TdtWindowContext& context) const;

    const AppLogger logger_;
    const ASRConfig config_;

    mutable std::mutex mutex_;
    std::shared_ptr<platform::ml::Model> preprocessorModel_;
    std::shared_ptr<platform::ml::Model> encoderModel_;
    std::shared_ptr<platform::ml::Model> decoderModel_;
    std::shared_ptr<platform::ml::Model> jointModel_;
    std::optional<AsrModels> asrModels_;
    std::shared_ptr<const Vocabulary> vocabulary_;
    std::shared_ptr<platform::ml::PredictionOptions> predictionOptions_;
};

} // namespace quorl
