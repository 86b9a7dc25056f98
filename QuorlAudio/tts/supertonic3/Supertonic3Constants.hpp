#pragma once

#include <array>
#include <string_view>

// The fixed numbers of the Supertonic-3 models and the languages they speak.
namespace quorl::Supertonic3Constants {

// Hz; also the configuration's default.
inline constexpr int sampleRate = 44100;
// Samples per latent frame before compression.
inline constexpr int baseChunkSize = 512;
inline constexpr int chunkCompressFactor = 6;
// Latent channels before compression.
inline constexpr int latentDim = 24;
// Rows and values per row of the two voice styles, "style_ttl" and "style_dp".
inline constexpr int ttlStyleTokens = 50;
inline constexpr int ttlStyleDim = 256;
inline constexpr int dpStyleTokens = 8;
inline constexpr int dpStyleDim = 16;
// Channels of the text embedding.
inline constexpr int textEmbDim = 256;
// The models' fixed text length, in positions.
inline constexpr int textTFixed = 128;
// Values offered to callers for the vector-estimator steps, the speed and the silence between chunks (seconds).
inline constexpr int defaultTotalSteps = 8;
inline constexpr float defaultSpeed = 1.05F;
inline constexpr float defaultSilenceDuration = 0.05F;
// Chunk limits in characters: Korean and Japanese take the shorter one.
inline constexpr int maxChunkLengthLatin = 70;
inline constexpr int maxChunkLengthCJK = 57;

// The language codes the text processor accepts, in the order messages list them.
inline constexpr std::array<std::string_view, 32> availableLanguages = {
    "en", "ko", "ja", "ar", "bg", "cs", "da", "de", "el", "es", "et", "fi", "fr", "hi", "hr", "hu",
    "id", "it", "lt", "lv", "nl", "pl", "pt", "ro", "ru", "sk", "sl", "sv", "tr", "uk", "vi", "na"};

// The languages chunked with maxChunkLengthCJK.
inline constexpr std::array<std::string_view, 2> cjkLanguages = {"ko", "ja"};

} // namespace quorl::Supertonic3Constants
