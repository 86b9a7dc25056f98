#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualAudioBuffer.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualEnergyGate.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualGreedyDecoder.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualLookAhead.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStatistics.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamState.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTranscript.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualVariantRequest.hpp"
#include "QuorlAudio/asr/multilingual/SharedNemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// What the last finish reported.
struct NemotronMultilingualDecodeStats {
    std::int64_t tokenCount = 0;
    std::optional<std::string> detectedLanguage;
    std::int64_t processedChunks = 0;

    bool operator==(const NemotronMultilingualDecodeStats&) const = default;
};

// The multilingual streaming recogniser of one audio stream. It is made ready from a variant folder: the
// configuration, two log-mel front ends (one for the chunk, one for the look-ahead), the encoder and every
// decoder-side model the variant provides, the tokenizer, fresh stream state, preallocated outputs and a
// warm-up. Audio of any format arrives in pieces of any size and is cut into fixed chunks, each encoded with
// the language prompt and decoded greedily; partial transcripts go to a callback, and finishing gives the
// text, the language and token timings. Its operations run one at a time under one mutex; the callback runs
// after the operation has released it, on the caller's thread, so it may call back into the manager.
class StreamingNemotronMultilingualAsrManager {
public:
    using PartialCallback = std::function<void(const std::string& text)>;
    struct TimedText {
        std::string text;
        std::vector<TokenTiming> timings;
    };

    // Loads nothing. Without a configuration, models run on the CPU and the Neural Engine with low-precision
    // accumulation on the GPU allowed.
    explicit StreamingNemotronMultilingualAsrManager(
        std::optional<platform::ml::ModelConfiguration> configuration = std::nullopt);

    NemotronMultilingualStreamingConfig config() const;
    platform::ml::ModelConfiguration mlConfiguration() const;

    // Makes the stream ready from a variant folder: "metadata.json", "encoder.mlmodelc" or its package, the
    // optional decoder-side models, "tokenizer.json". Models of an earlier variant are dropped first, so only
    // this folder's models take part in the choice of decoding path. The first failure is thrown: a missing
    // "metadata.json" leaves the manager unchanged, later failures leave what was installed before them.
    void loadModels(const std::filesystem::path& directory);

    // Makes the stream ready from a set that other streams may share: the same models and tokenizer, with
    // this stream's own configuration copy, mel front ends, encoder state, caches, prediction options and
    // step inputs. Models the set lacks are dropped; nothing is warmed up. Throws only what resetting the
    // state throws, leaving the options and step inputs of before.
    void loadFromShared(const SharedNemotronMultilingualModels& shared);

    // Loads a variant folder once for any number of streams (see NemotronMultilingualSharedPreloader).
    static SharedNemotronMultilingualModels
    preloadShared(const std::filesystem::path& directory,
                  const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt);
    // "latin" or "multilingual", the repository folder of a language code's variants.
    static std::string languageDirectory(const std::string& languageCode);
    // Fetches the variant into the model cache unless it is there (see NemotronMultilingualVariantDownloader)
    // and returns its folder.
    static std::filesystem::path downloadVariant(const NemotronMultilingualVariantRequest& request);
    // Fetches the variant, then preloads it; the first failure is thrown.
    static SharedNemotronMultilingualModels
    downloadAndPreloadShared(const NemotronMultilingualVariantRequest& request,
                             const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt);

    // Fresh stream state: zero encoder caches with a cache length of 1, a new state for a stateful encoder,
    // no mel cache or look-ahead, separate zero recurrent states, the blank as the last token. Throws when
    // the arrays cannot be made.
    void resetStates();

    // Called with the whole transcript so far (without language tags) after each chunk that emitted a
    // token; replaces any earlier callback.
    void setPartialCallback(PartialCallback callback);
    bool appendTerminalPunctuation() const;
    void setAppendTerminalPunctuation(bool append);
    NemotronMultilingualStatistics statistics() const;

    // Audio in any format, converted to 16 kHz mono and buffered; only a later process call cuts it into
    // chunks. The converter's error propagates and nothing is appended.
    void appendAudio(const platform::audio::PCMBuffer& buffer);
    // Converts the buffer, then processes it as samples.
    std::string process(const platform::audio::PCMBuffer& audioBuffer);
    // Buffers 16 kHz mono samples and decodes every whole chunk; always returns "". Throws
    // ASRError::notInitialized before loading; a chunk that fails is thrown and stays buffered, with
    // everything it changed put back, so the next call decodes it once.
    std::string process(std::span<const float> samples);
    // Decodes every pending chunk, then the rest padded with zeros to a chunk, and returns the text of the
    // tokens since the last finish (tidied when terminal punctuation is asked for). The stream's context
    // (caches, decoder state, language, counters) stays for a following utterance.
    std::string finish();
    TimedText finishWithTokenTimings();
    NemotronMultilingualDecodeStats lastDecodeStats() const;
    // The text so far, untidied; "" without a tokenizer. Records the language it names when none was.
    std::string getPartialTranscript();
    // The timings since the last finish or reset.
    std::vector<TokenTiming> getTokenTimings() const;

    // Chooses the prompt of a language (none: automatic detection) and seeds the decoder with its tag
    // when the forced prefix is on. Failures of the seed are logged, not thrown.
    void setLanguage(const std::optional<std::string>& language);
    // Sets the prompt id directly; an id beyond 32 bits is refused with a warning.
    void setPromptId(std::int64_t promptId);
    std::int64_t promptId() const;
    std::int32_t currentPromptIdValue() const;
    void setForcedPrefix(bool enabled);
    bool forcedPrefixEnabled() const;
    std::optional<std::string> detectedLanguage() const;
    void recordDetectedLanguage(const std::string& language);

    // Starts an independent utterance: buffers, tokens, timings, frame base, chunk count and language
    // cleared, fresh states, the forced prefix seeded again. Never throws; failures are logged.
    void reset();
    // Resets, then releases the models, mel front ends, tokenizer, caches and decoder state.
    void cleanup();

    static std::string tidyTerminalPunctuation(const std::string& text, const std::optional<std::string>& language);

    // The display piece of one id: a language tag as "<code>", an ordinary piece as its trimmed text; none
    // for an unknown id or a piece of word boundaries only.
    static std::optional<std::string> tokenizerPiece(std::int64_t id, const NemotronMultilingualTokenizer& tokenizer);

private:
    friend class StreamingNemotronMultilingualAsrManagerProbe;

    void installConfiguration(const NemotronMultilingualStreamingConfig& config);
    void loadEncoder(const std::filesystem::path& directory);
    void loadOptionalModels(const std::filesystem::path& directory);
    std::shared_ptr<platform::ml::Model> loadModel(const std::filesystem::path& directory, const std::string& name,
                                                   const char* computeUnitVariable) const;
    void readBatchWidth();
    void adoptModels(const SharedNemotronMultilingualModels& shared);
    void reportSmartSpeculative() const;
    void makePredictionOptions();
    void makeReusableInputs();
    void resetStatesLocked();

    struct Partials;
    struct ChunkAttempt;
    using NextChunk = std::optional<std::span<const float>>;
    void checkReady(bool needsTokenizer) const;
    void decodeWholeChunks(Partials& partials);
    void processChunk(std::span<const float> samples, NextChunk nextChunk, Partials& partials);
    void checkChunkReady() const;
    void encodeAndDecode(std::span<const float> samples, NextChunk nextChunk, Partials& partials,
                         ChunkAttempt& attempt);
    std::vector<std::int64_t> decodeEncoding(NemotronMultilingualDecoderState& decoder, const ChunkAttempt& attempt);
    NemotronMultilingualLookAhead lookAhead(NextChunk nextChunk) const;
    void installLookAhead(std::optional<NemotronMultilingualPrefetchedChunk> prefetched, std::exception_ptr failure);
    void rollBack(const ChunkAttempt& attempt);
    std::string finishTranscript();
    void resetLocked();
    void applyForcedPrefixIfNeeded();
    void seedLogged();
    static void deliver(const Partials& partials);

    const AppLogger logger_;
    mutable std::mutex mutex_;
    std::optional<NemotronMelExtractor> melExtractor_;
    std::optional<NemotronMelExtractor> prefetchMelExtractor_;
    NemotronMultilingualModels models_;
    std::shared_ptr<const NemotronMultilingualTokenizer> tokenizer_;
    NemotronMultilingualStreamingConfig config_;
    NemotronMultilingualStreamState state_;
    // Inputs of the decoding steps, made once per load and refilled at every step.
    NemotronMultilingualStepBuffers stepBuffers_;
    // The speculative route's batch of projected frames, kept from chunk to chunk.
    std::shared_ptr<platform::ml::MultiArray> encProjBatchReusable_;
    std::int32_t currentPromptId_;
    std::optional<std::string> currentLanguageCode_;
    bool useForcedPrefix_ = false;
    platform::ml::ModelConfiguration mlConfiguration_;
    const AudioConverter audioConverter_;
    bool appendTerminalPunctuation_ = false;
    PartialCallback partialCallback_;
    NemotronMultilingualAudioBuffer audioBuffer_;
    NemotronMultilingualTranscript transcript_;
    NemotronMultilingualEnergyGate gate_;
    NemotronMultilingualStatistics statistics_;
    std::int64_t processedChunks_ = 0;
    NemotronMultilingualDecodeStats lastFinish_;
    std::vector<TokenTiming> lastFinishTokenTimings_;
};

} // namespace quorl
