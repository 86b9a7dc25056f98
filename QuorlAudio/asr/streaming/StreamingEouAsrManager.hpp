#pragma once

#include "QuorlAudio/asr/streaming/EouDebouncer.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/asr/streaming/RnntDecoder.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrProviders.hpp"
#include "QuorlAudio/asr/streaming/StreamingChunkSize.hpp"
#include "QuorlAudio/asr/streaming/Tokenizer.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// The live English recogniser of the end-of-utterance models: audio is cut into fixed, overlapping chunks;
// each chunk's log-mel features go through one cache-aware encoder call, whose caches carry on to the next
// chunk, and the greedy transducer decoder turns the encoder frames into tokens and notices when the model
// signals that the speaker has finished. Reports the growing transcript through the partial callback, a
// debounced end of utterance through the end-of-utterance callback, and the start of every token, its piece
// and the end-of-utterance times through the provider interfaces.
//
// Every public operation holds one mutex, so the engine decodes one chunk at a time whatever the callers'
// threads. The callbacks run after the decoding operation has released it, on the caller's thread, before
// the operation returns, in chunk order (a chunk's partial before its end of utterance).
class StreamingEouAsrManager final : public StreamingAsrManager,
                                     public StreamingAsrTokenTimestampProvider,
                                     public StreamingAsrRawTokenProvider,
                                     public StreamingAsrEouProvider {
public:
    using TextCallback = std::function<void(const std::string& text)>;

    struct Config {
        platform::ml::ModelConfiguration configuration;
        StreamingChunkSize chunkSize = StreamingChunkSize::ms160;
        std::int64_t eouDebounceMs = 1280;
        // Keep every chunk's mel features for saveDebugFeatures.
        bool debugFeatures = false;
    };

    // The default Config.
    StreamingEouAsrManager();
    explicit StreamingEouAsrManager(Config config);

    // "Parakeet EOU 120M (<durationMs>ms)".
    std::string displayName() const override;

    StreamingChunkSize chunkSize() const;
    bool eouDetected() const;
    std::int64_t eouDebounceMs() const;
    // Applies from the next chunk.
    void setEouDebounceMs(std::int64_t milliseconds);
    platform::ml::ModelConfiguration configuration() const;
    bool debugFeatures() const;

    void setEouCallback(TextCallback callback);
    void setPartialCallback(TextCallback callback);
    void setPartialTranscriptCallback(PartialTranscriptCallback callback) override;

    std::vector<std::int64_t> getTokenTimestampsMs() const override;
    std::vector<std::string> getRawTokenStrings() const override;
    std::vector<std::int64_t> getEouTimestampsMs() const override;

    // Loads the encoder, decoder, joint and vocabulary of the model folder (and the fused decoder when
    // "QUORL_EOU_FUSED" is exactly "1" and its bundle is there), then starts from zero caches. A failure is
    // thrown; the models loaded before it stay.
    void loadModels(const std::filesystem::path& from);
    // Downloads the geometry's models into `to` (default: Application Support / "QuorlAudio" / "Models" /
    // "parakeet-eou-streaming") unless they are all there, then loads them from the repository's folder under
    // it. A given configuration replaces the engine's.
    void loadModels(const std::optional<std::filesystem::path>& to,
                    const std::optional<platform::ml::ModelConfiguration>& configuration,
                    const ProgressHandler& progressHandler);
    void loadModels() override;

    // Converts the buffer to 16 kHz mono with the stream's one resampler and buffers it.
    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // appendAudio, then processBufferedAudio; the text arrives through the callbacks, so this returns "".
    std::string process(const platform::audio::PCMBuffer& audioBuffer);
    // Decodes every complete chunk and drops the samples no later chunk needs. Throws
    // ASRError::notInitialized when a chunk is due without models; a failed chunk stays buffered.
    void processBufferedAudio() override;
    // Decodes every sample handed in: the complete chunks, then the zero-padded remainder. Returns the
    // utterance's text and empties the transcript lists; the caches, the decoder and the timeline carry on.
    // Without a vocabulary it returns "" and keeps the lists.
    std::string finish() override;
    void reset() override;
    void cleanup() override;
    std::string getPartialTranscript() const override;

    // Appends floor(seconds x 16000) zeros; a negative or non-finite duration appends nothing.
    void injectSilence(double seconds);
    // Writes {"mel_features": [...], "count": n}, pretty-printed, replacing the file.
    void saveDebugFeatures(const std::filesystem::path& path) const;

    // (baseFrame + frame) x frameDurationMs for each frame.
    static std::vector<std::int64_t> computeTokenTimestampsMs(std::int64_t baseFrame, std::span<const int> tokenFrames,
                                                              std::int64_t frameDurationMs);

private:
    // A callback call gathered while decoding, made once the mutex is released.
    struct Notification {
        TextCallback callback;
        std::string text;
    };
    using Notifications = std::vector<Notification>;

    // Runs `decode` under the mutex, then makes the callback calls it gathered, also when it threw.
    template <class Decode> auto decodeAndNotify(Decode&& decode);

    void loadModelsLocked(const std::filesystem::path& from);
    std::shared_ptr<platform::ml::Model> loadFusedModelIfAsked(const std::filesystem::path& from) const;
    void resetStates();
    void resetLocked();
    void appendSamplesLocked(std::vector<float> samples);

    void decodeCompleteChunks(Notifications& notifications);
    std::string finishLocked(Notifications& notifications);
    void decodeChunk(std::span<const float> chunk, Notifications& notifications);
    std::shared_ptr<platform::ml::MultiArray> encode(std::span<const float> chunk);
    void recordTokens(const RnntDecoder::DecodeResult& result, Notifications& notifications);
    void updateEndOfUtterance(const RnntDecoder::DecodeResult& result, Notifications& notifications);
    std::string transcriptLocked() const;

    const AppLogger logger_;
    const NemotronMelExtractor melProcessor_;

    mutable std::mutex mutex_;
    Config config_;
    ContinuousAudioConverter audioConverter_{ASRConstants::sampleRate};
    std::shared_ptr<platform::ml::Model> streamingEncoder_;
    std::shared_ptr<platform::ml::Model> decoder_;
    std::shared_ptr<platform::ml::Model> joint_;
    std::unique_ptr<RnntDecoder> rnntDecoder_;
    std::shared_ptr<const Tokenizer> tokenizer_;
    std::vector<float> audioBuffer_;
    std::vector<std::int64_t> accumulatedTokenIds_;
    std::vector<std::int64_t> accumulatedTokenTimestampsMs_;
    std::vector<std::string> accumulatedRawTokenStrings_;
    std::vector<std::int64_t> accumulatedEouTimestampsMs_;
    int processedChunks_ = 0;
    std::int64_t totalSamplesProcessed_ = 0;
    EouDebouncer debouncer_;
    TextCallback eouCallback_;
    TextCallback partialCallback_;
    std::vector<float> debugFeatureBuffer_;
    std::shared_ptr<platform::ml::MultiArray> preCache_;
    std::shared_ptr<platform::ml::MultiArray> cacheLastChannel_;
    std::shared_ptr<platform::ml::MultiArray> cacheLastTime_;
    std::shared_ptr<platform::ml::MultiArray> cacheLastChannelLen_;
};

} // namespace quorl
