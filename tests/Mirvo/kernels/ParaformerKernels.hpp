#pragma once

// The Paraformer half of the dictation kernel library, with what its bundles and recordings agree on.
//
// Words are coded in the audio as for the transducer kernels (DictationKernels.hpp): word code k is a stretch
// of the sample value k × levelStep. The preprocessor reduces each feature frame (960 samples, 60 ms) to its
// least and greatest sample; the encoder passes them on; the CIF-alpha model fires (weight 1.0) on the first
// flat frame of each word and gives 0 elsewhere; the decoder answers token id k + 2 for an embedding of word k.
// A word of at least two feature frames therefore yields exactly one token.

namespace platform::ml {
class KernelRegistry;
}

namespace mirvotest::paraformer {

inline constexpr const char* preprocessorKernel = "paraformer-dictation-preprocessor";
inline constexpr const char* encoderKernel = "paraformer-dictation-encoder";
inline constexpr const char* cifAlphasKernel = "paraformer-dictation-cif-alphas";
inline constexpr const char* decoderKernel = "paraformer-dictation-decoder";

// Token id of word code k: the ids below are blank, start and end of sentence.
inline constexpr int firstWordToken = 3;

void registerKernels(platform::ml::KernelRegistry& registry);

} // namespace mirvotest::paraformer
