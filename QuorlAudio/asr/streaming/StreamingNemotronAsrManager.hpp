#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/streaming/NemotronChunkSize.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/asr/streaming/NemotronStreamingConfig.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
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

// The live English recogniser of the cache-aware Nemotron transducer. Audio is cut into chunks that do not
// overlap; each chunk's mel features, behind the previous chunk's last mel frames, go through one encoder
// call whose three caches carry the left context on, and greedy transducer decoding turns the encoder
// frames into tokens with the recurrent state carried across chunks. No audio is decoded twice.
//
// Every public operation holds one mutex, so the engine decodes one chunk at a time whatever the callers'
// threads. The partial callback runs after the decoding operation has released it, on the caller's thread,
// before the operation returns, once per chunk that emitted a token.
class StreamingNemotronAsrManager final : public StreamingAsrManager {
public:
    using TextCallback = std::function<void(const std::string& text)>;

    struct Options {
        // None: the CPU and the Neural Engine, low-precision accumulation on the GPU allowed.
        std::optional<platform::ml::ModelConfiguration> configuration;
        // Which model folder loading fetches; none means 2240 ms.
        std::optional<NemotronChunkSize> requestedChunkSize;
    };

    struct TranscriptWithTimings {
        std::string text;
        std::vector<TokenTiming> timings;
    };

    // The default Options.
    StreamingNemotronAsrManager();
    explicit StreamingNemotronAsrManager(Options options);

    // "Nemotron 0.6B (<chunkMs>ms)".
    std::string displayName() const override;
    NemotronStreamingConfig config() const;
    platform::ml::ModelConfiguration mlConfiguration() const;

    void setPartialCallback(TextCallback callback);
    void setPartialTranscriptCallback(PartialTranscriptCallback callback) override;

    // Reads the folder's "metadata.json" when there is one, loads the int8 encoder, the decoder, the joint, the
    // fused decoder-joint when present and the tokenizer, then checks with one all-zero-caches probe that the
    // encoder answers something other than zeros (ASRError::encoderInstantiationFailed otherwise). A failure is
    // thrown; what was assigned before it stays.
    void loadModels(const std::filesystem::path& from);
    // Downloads the requested chunk size's repository into `to` (default: Application Support / "QuorlAudio" /
    // "Models") unless its int8 encoder is there, then loads its folder. A given configuration replaces the
    // engine's.
    void loadModels(const std::optional<std::filesystem::path>& to,
                    const std::optional<platform::ml::ModelConfiguration>& configuration,
                    const ProgressHandler& progressHandler);
    void loadModels() override;

    // Zero encoder caches with a cache length of 1, no mel cache, zero recurrent states, blank last token.
    void resetStates();
    // Clears the stream and resets the states; a failure to make the states is logged, never thrown.
    void reset() override;
    void cleanup() override;

    // Converts the buffer to 16 kHz mono with the stream's one resampler and buffers it; needs no models.
    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // Needs the models; appends, then decodes every complete chunk. The text arrives through the callback,
    // so this returns "".
    std::string process(const platform::audio::PCMBuffer& audioBuffer);
    // Decodes every complete chunk buffered. A failed chunk stays at the front of the buffer.
    void processBufferedAudio() override;
    // Decodes every sample handed in: the complete chunks, then the zero-padded remainder. Returns the
    // transcript and starts the next one; the caches, states and token clock carry on.
    std::string finish() override;
    TranscriptWithTimings finishWithTokenTimings();
    // The running transcript; "" without a tokenizer.
    std::string getPartialTranscript() const override;
    // The timings of the tokens since the last finish or reset.
    std::vector<TokenTiming> getTokenTimings() const;

private:
    // What one decoding step answered: the best token and the recurrent state after it.
    struct DecoderStep {
        std::int64_t token;
        std::shared_ptr<platform::ml::MultiArray> h;
        std::shared_ptr<platform::ml::MultiArray> c;
    };

    // Runs `decode` under the mutex, then hands the transcripts it gathered to the callback, also when it threw.
    template <class Decode> auto decodeThenNotify(Decode&& decode);

    void loadModelsLocked(const std::filesystem::path& from);
    bool encoderProbe();
    void resetStatesLocked();
    void resetLocked();
    void requireModels() const;
    std::size_t chunkSamples() const;

    void decodeCompleteChunks(std::vector<std::string>& partials);
    std::string finishLocked(std::vector<std::string>& partials);
    void processChunk(std::span<const float> chunk, std::vector<std::string>& partials);
    std::shared_ptr<platform::ml::MultiArray> encode(const platform::ml::MultiArray& mel);
    std::shared_ptr<platform::ml::MultiArray> prependMelCache(const platform::ml::MultiArray& mel) const;
    std::shared_ptr<platform::ml::MultiArray> extractMelCache(const platform::ml::MultiArray& mel) const;
    DecoderStep decodeStep(const std::shared_ptr<platform::ml::MultiArray>& step, std::int32_t last,
                           const std::shared_ptr<platform::ml::MultiArray>& h,
                           const std::shared_ptr<platform::ml::MultiArray>& c) const;
    void emit(std::int64_t token, std::int64_t frame, std::vector<std::int64_t>& chunkTokens);
    std::string transcriptLocked() const;

    const AppLogger logger_;

    mutable std::mutex mutex_;
    std::optional<NemotronMelExtractor> melExtractor_;
    std::shared_ptr<platform::ml::Model> encoder_;
    std::shared_ptr<platform::ml::Model> decoder_;
    std::shared_ptr<platform::ml::Model> joint_;
    std::shared_ptr<platform::ml::Model> decoderJoint_;
    ContinuousAudioConverter audioConverter_{ASRConstants::sampleRate};
    std::shared_ptr<const Tokenizer> tokenizer_;
    NemotronStreamingConfig config_;
    std::vector<float> audioBuffer_;
    std::vector<std::int64_t> accumulatedTokenIds_;
    std::vector<TokenTiming> accumulatedTokenTimings_;
    std::int64_t absoluteFrameBase_ = 0;
    std::vector<TokenTiming> lastFinishTokenTimings_;
    std::shared_ptr<platform::ml::MultiArray> cacheChannel_;
    std::shared_ptr<platform::ml::MultiArray> cacheTime_;
    std::shared_ptr<platform::ml::MultiArray> cacheLen_;
    std::shared_ptr<platform::ml::MultiArray> melCache_;
    std::shared_ptr<platform::ml::MultiArray> hState_;
    std::shared_ptr<platform::ml::MultiArray> cState_;
    std::int32_t lastToken_;
    TextCallback partialCallback_;
    std::optional<NemotronChunkSize> requestedChunkSize_;
    std::int64_t processedChunks_ = 0;
    platform::ml::ModelConfiguration mlConfiguration_;
};

} // namespace quorl
