#pragma once

#include "QuorlAudio/asr/batch/TdtConfig.hpp"

namespace quorl {

// Configuration of the batch recogniser, written with designated initialisers:
// `ASRConfig{.parallelChunkConcurrency = 2}`. A default-made value is the default preset.
struct ASRConfig {
    int sampleRate = 16000;
    TdtConfig tdtConfig = TdtConfig::defaultConfig();
    int encoderHiddenSize = 1024;
    // Recogniser workers that decode the chunks of long audio in parallel.
    int parallelChunkConcurrency = 4;
    // Whether long files may be read from a disk-backed sample source instead of being loaded whole.
    bool streamingEnabled = true;
    // Estimated length, in samples at sampleRate, beyond which a file takes the disk-backed path (30 s).
    int streamingThreshold = 480000;
    // Whether each chunk of long audio carries extra samples of mel-spectrogram context.
    bool melChunkContext = true;
    bool dualDecodeArbitration = false;

    static const ASRConfig& defaultConfig();

    // This configuration as the recogniser's code rebuilds it: the values unchanged, except that at least one
    // chunk worker is kept. The one place where a configuration is checked.
    ASRConfig validated() const;

    bool operator==(const ASRConfig&) const = default;
};

} // namespace quorl
