#pragma once

#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"

#include <filesystem>
#include <string>

namespace testsupport {

// The kernels that run the four models of a written Supertonic-3 set.
struct Supertonic3KernelNames {
    std::string durationPredictor;
    std::string textEncoder;
    std::string vectorEstimator;
    std::string vocoder;
};

// Writes into the repository folder everything a store of `estimator` loads: the bundles, described with the
// inputs and outputs the synthesiser uses (a bucket's latent length fixed, a dynamic one free), the default
// "tts.json", and a "unicode_indexer.json" that gives every scalar below U+1200 (ASCII through the conjoining
// Hangul jamo) its own value as id.
void writeSupertonic3Set(const std::filesystem::path& repoDir, const Supertonic3KernelNames& kernels,
                         const quorl::Supertonic3VectorEstimator& estimator);

// A style of the shapes a loaded file has, every value `value`.
quorl::Supertonic3VoiceStyle supertonic3Style(float value);

// A voice-style file of the same style.
std::string supertonic3StyleDocument(float value);

} // namespace testsupport
