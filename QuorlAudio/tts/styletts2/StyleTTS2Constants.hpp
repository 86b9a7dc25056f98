#pragma once

#include <algorithm>
#include <array>

// The fixed numbers of the StyleTTS2 models: rates, the reference mel, the diffusion schedule, style sizes and
// the token-axis buckets.
namespace quorl::StyleTTS2Constants {

// Hz of the output and of reference clips.
inline constexpr int sampleRate = 24000;
// Audio samples per acoustic frame.
inline constexpr int hopSamples = 300;
// Samples dropped from the end of every synthesised chunk.
inline constexpr int tailTrimSamples = 50;
// Token length of the default BERT and sampler models.
inline constexpr int defaultBertTokens = 57;
// Token lengths of the bucketed BERT and sampler models, ascending.
inline constexpr std::array<int, 3> bucketTokenSizes = {64, 128, 256};
// The largest bucket, 0 without buckets.
inline constexpr int largestBucket = bucketTokenSizes.empty() ? 0 : *std::ranges::max_element(bucketTokenSizes);
// The longest phoneme chunk: the largest bucket less the position the pad id takes.
inline constexpr int maxPhonemeChunkChars = largestBucket > 64 ? largestBucket - 1 : 63;

// The reference mel: the filterbank assumes 16 kHz although the audio is at 24 kHz.
inline constexpr int melFilterSampleRate = 16000;
inline constexpr int melNFFT = 2048;
inline constexpr int melWinLength = 1200;
inline constexpr int melHopLength = 300;
inline constexpr int melNMels = 80;
inline constexpr float melLogEpsilon = 0.00001F;
inline constexpr float melLogMean = -4.0F;
inline constexpr float melLogStd = 4.0F;

// The Karras schedule of the diffusion sampler.
inline constexpr int diffusionSteps = 5;
inline constexpr double sigmaMin = 0.0001;
inline constexpr double sigmaMax = 3.0;
inline constexpr double rhoSchedule = 9.0;

// Weights of the sampled style in the acoustic and the prosodic half of the style vector.
inline constexpr float defaultAlpha = 0.3F;
inline constexpr float defaultBeta = 0.7F;
inline constexpr int styleDim = 256;
inline constexpr int refSplit = 128;
// The decoder's aligned features are shifted one frame for the vocoder.
inline constexpr bool applyHifiganAsrShift = true;

} // namespace quorl::StyleTTS2Constants
