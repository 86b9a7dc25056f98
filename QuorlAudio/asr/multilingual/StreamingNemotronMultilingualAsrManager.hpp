#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamState.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorl {

// The multilingual streaming recogniser of one audio stream. It is made ready from a variant folder: the
// configuration, two log-mel front ends (one for the chunk, one for the look-ahead), the encoder and every
// decoder-side model the variant provides, the tokenizer, fresh stream state, preallocated outputs and a
// warm-up. Its operations run one at a time under one mutex.
class StreamingNemotronMultilingualAsrManager {
public:
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

    // Fresh stream state: zero encoder caches with a cache length of 1, a new state for a stateful encoder,
    // no mel cache or look-ahead, separate zero recurrent states, the blank as the last token. Throws when
    // the arrays cannot be made.
    void resetStates();

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
    void reportSmartSpeculative() const;
    void makePredictionOptions();
    void makeReusableInputs();
    void resetStatesLocked();

    const AppLogger logger_;
    mutable std::mutex mutex_;
    std::optional<NemotronMelExtractor> melExtractor_;
    std::optional<NemotronMelExtractor> prefetchMelExtractor_;
    NemotronMultilingualModels models_;
    std::shared_ptr<const NemotronMultilingualTokenizer> tokenizer_;
    NemotronMultilingualStreamingConfig config_;
    NemotronMultilingualStreamState state_;
    // Inputs of the decoding steps, made once per load and refilled at every step.
    std::shared_ptr<platform::ml::MultiArray> encoderStepBuf_;
    std::shared_ptr<platform::ml::MultiArray> encoderProjStepBuf_;
    std::shared_ptr<platform::ml::MultiArray> tokenInputBuf_;
    std::shared_ptr<platform::ml::MultiArray> tokenLenBuf_;
    std::int32_t currentPromptId_;
    platform::ml::ModelConfiguration mlConfiguration_;
};

} // namespace quorl
