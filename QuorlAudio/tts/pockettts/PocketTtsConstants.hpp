#pragma once

#include <cstdint>
#include <string_view>

namespace quorl::PocketTtsConstants {

// Fixed numbers of the PocketTTS models and of the synthesis around them.
inline constexpr std::int64_t audioSampleRate = 24000;
// 80 ms of audio per generated frame: 12.5 frames per second.
inline constexpr std::int64_t samplesPerFrame = 1920;
inline constexpr std::int64_t latentDim = 32;
inline constexpr std::int64_t transformerDim = 1024;
// SentencePiece ids, and rows of the text-embedding table.
inline constexpr std::int64_t vocabSize = 4001;
inline constexpr std::int64_t embeddingDim = 1024;
inline constexpr std::int64_t numLsdSteps = 8;
inline constexpr std::int64_t condPrefillMaxTokens = 256;
inline constexpr float temperature = 0.7F;
// End-of-speech logit above which a chunk counts as finished.
inline constexpr float eosThreshold = -4.0F;
inline constexpr std::int64_t shortTextPadFrames = 3;
inline constexpr std::int64_t longTextExtraFrames = 1;
inline constexpr std::int64_t extraFramesAfterDetection = 2;
// A sentence chunk of fewer words than this counts as short.
inline constexpr std::int64_t shortTextWordThreshold = 5;
inline constexpr std::int64_t maxTokensPerChunk = 50;
inline constexpr std::int64_t kvCacheMaxLen = 512;
inline constexpr std::string_view defaultVoice = "alba";
// Most frames of a cloned voice prompt.
inline constexpr std::int64_t voicePromptLength = 125;
inline constexpr std::string_view defaultModelsSubdirectory = "Models";

} // namespace quorl::PocketTtsConstants
