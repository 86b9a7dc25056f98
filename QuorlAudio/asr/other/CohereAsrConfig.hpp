#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorl {

// The fixed facts of the Cohere encoder-decoder recogniser: one model window, the network sizes, the mel
// settings, the decoder's special tokens and the languages it can be told to transcribe.
struct CohereAsrConfig {
    static constexpr int sampleRate = 16000;
    static constexpr float maxAudioSeconds = 35.0f;
    static constexpr int maxSamples = 560000;
    static constexpr float chunkOverlapSeconds = 5.0f;
    static constexpr float chunkHopSeconds = 30.0f;
    static constexpr int vocabSize = 16384;
    static constexpr int encoderHiddenSize = 1280;
    static constexpr int decoderHiddenSize = 1024;
    static constexpr int numEncoderLayers = 48;
    // One key cache and one value cache per layer.
    static constexpr int numDecoderLayers = 8;
    static constexpr int numDecoderHeads = 8;
    static constexpr int headDim = 128;
    // The longest decoder sequence, prompt and generated tokens together, that the caches hold.
    static constexpr int maxSeqLen = 108;
    static constexpr int numMelBins = 128;

    struct MelSpec {
        static constexpr int nFFT = 512;
        // 10 ms at 16 kHz: 35 s is 3500 mel frames.
        static constexpr int hopLength = 160;
        static constexpr int nMels = 128;
        static constexpr float fMin = 0.0f;
        static constexpr float fMax = 8000.0f;
        static constexpr float preemphasis = 0.97f;
    };

    // Ids 0 (unkToken) to 4 (startToken) never reach the text; eosToken ends decoding.
    struct SpecialTokens {
        static constexpr int unkToken = 0;
        static constexpr int noSpeechToken = 1;
        static constexpr int padToken = 2;
        static constexpr int eosToken = 3;
        static constexpr int startToken = 4;
        static constexpr int pnc = 5;
        static constexpr int startOfContext = 7;
        static constexpr int noitn = 9;
        static constexpr int notimestamp = 11;
        static constexpr int nodiarize = 13;
        static constexpr int emoUndefined = 16;
        static constexpr int wordBoundary = 13764;
    };

    // The languages the decoder transcribes, in declaration order.
    enum class Language {
        english,
        french,
        german,
        spanish,
        italian,
        portuguese,
        dutch,
        polish,
        greek,
        arabic,
        japanese,
        chinese,
        vietnamese,
        korean,
    };
};

// The two-letter code: "en", "fr", ...
std::string_view rawValue(CohereAsrConfig::Language language);
std::string_view englishName(CohereAsrConfig::Language language);
// The token that names the language to the decoder.
int tokenId(CohereAsrConfig::Language language);
// The ten tokens that open every decoding run; the language token stands at positions 4 and 5.
std::vector<int> promptSequence(CohereAsrConfig::Language language);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the two-letter code.
template <>
std::optional<quorl::CohereAsrConfig::Language>
fromRawValue<quorl::CohereAsrConfig::Language>(std::string_view rawValue);

template <> std::span<const quorl::CohereAsrConfig::Language> allCases<quorl::CohereAsrConfig::Language>();

} // namespace platform::core
