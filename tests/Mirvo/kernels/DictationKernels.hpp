#pragma once

// What the dictation kernels and the tests that write their bundles and recordings agree on.
//
// The kernels make a tiny deterministic recogniser for the v3 transducer models. A word is coded in the
// audio by amplitude: word code k (1 to maxWordCode) is a stretch of the constant sample value k × levelStep,
// silence is 0. The front end reduces every encoder frame (1280 samples) to the least and the greatest sample
// in it; the joint model recognises a frame whose two agree as the word of that level and answers token id k,
// unless k is the label the decoder already carries, in which case, as for silence and for frames that
// straddle a word's edge, it answers blank. A word that covers at least two encoder frames, wherever the
// recogniser's windows begin, therefore holds a whole frame and yields exactly one token per pass.

#include <cstddef>

namespace mirvotest::dictation {

inline constexpr const char* preprocessorKernel = "dictation-preprocessor";
inline constexpr const char* encoderKernel = "dictation-encoder";
inline constexpr const char* decoderKernel = "dictation-decoder";
inline constexpr const char* jointKernel = "dictation-joint";

// The shapes the bundles declare and the kernels produce: encoder frames per window, the width of an encoder
// frame and of the decoder's projection.
inline constexpr std::size_t encoderFrames = 188;
inline constexpr std::size_t encoderWidth = 1024;
inline constexpr std::size_t projectionWidth = 640;

inline constexpr double levelStep = 0.1;
inline constexpr int maxWordCode = 9;

} // namespace mirvotest::dictation
