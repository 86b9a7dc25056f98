#pragma once

#include <array>
#include <string_view>

// The fixed numbers of the transducer recognisers.
namespace quorl::ASRConstants {

inline constexpr int sampleRate = 16000;
inline constexpr double maxDurationSeconds = 15.0;
inline constexpr int maxModelSamples = 240000;
inline constexpr double minimumAudioDurationSeconds = 0.3;
inline constexpr int melHopSize = 160;
inline constexpr int encoderSubsampling = 8;
inline constexpr int encoderHiddenSize = 1024;
inline constexpr int decoderHiddenSize = 640;
inline constexpr int samplesPerEncoderFrame = melHopSize * encoderSubsampling;
inline constexpr double secondsPerEncoderFrame = 0.08;
inline constexpr int standardOverlapFrames = 25;
inline constexpr double highWERThreshold = 0.15;
inline constexpr float minConfidence = 0.1f;
inline constexpr float maxConfidence = 1.0f;
// U+2581, the marker that starts a word piece.
inline constexpr std::string_view sentencePieceWordBoundary = "\u2581";
inline constexpr std::array<int, 3> punctuationTokens{7883, 7952, 7948};

// Encoder frames covering the samples; a partly filled last frame counts.
int calculateEncoderFrames(int samples);

// The fewest samples at this rate that make the shortest audio recognition accepts.
int minimumRequiredSamples(int sampleRate);

} // namespace quorl::ASRConstants
