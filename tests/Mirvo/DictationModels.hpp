#pragma once

#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace mirvotest {

// One word of a dictation recording: its code (see kernels/DictationKernels.hpp) and where it lies.
struct DictationWord {
    int code;
    double startSeconds;
    double lengthSeconds;
};

// A recording the dictation kernels recognise: 16 kHz mono silence in which each word is a stretch of its
// level.
struct DictationRecording {
    double lengthSeconds;
    std::vector<DictationWord> words;

    std::vector<float> samples() const;
    // As 16-bit PCM WAV, which keeps every word level well within the kernels' tolerance.
    void writeWav(const std::filesystem::path& path) const;
    // The words as the recogniser writes them: their spellings, one space apart.
    std::string text() const;
};

// Four words in the first 5 s of a 14 s recording that starts with the first of them: the streaming
// recogniser's first window, decoded once 13 s have arrived, holds every word, ahead of any overlap.
DictationRecording wordsWithinTheFirstWindow();

// Serves the v3 transducer repository with the int8 encoder, as the toolkit downloads it: compiled bundles
// whose kernels the dictation kernel library implements (named by its absolute path), and the vocabulary
// that spells each word code.
void serveDictationModels(testsupport::LoopbackHub& hub);

// Mandarin words of the Paraformer kernels by word code, in Simplified Chinese and in Taiwan's forms.
std::string mandarinWord(int code);
std::string taiwanWord(int code);

// Serves the Paraformer repository as the toolkit downloads it: compiled bundles of both precisions whose
// kernels the dictation kernel library implements, and the vocabulary that writes each word code as its
// Mandarin word.
void serveMandarinDictationModels(testsupport::LoopbackHub& hub);

// Points the toolkit, of this process or of a child started while `environment` lives, at the hub, with no
// token or proxy in between, and at `applicationSupport` for its model cache.
void useDictationHub(testsupport::ScopedEnvironment& environment, const testsupport::LoopbackHub& hub,
                     const std::filesystem::path& applicationSupport);

} // namespace mirvotest
