#pragma once

#include "QuorlAudio/asr/batch/TdtConfig.hpp"

namespace quorl {

// Configuration of the batch recogniser. A default-made value is the default preset.
struct ASRConfig {
    ASRConfig() = default;
    // Stores the values as given, except that at least one chunk worker is kept.
    ASRConfig(int sampleRate, TdtConfig tdtConfig, int encoderHiddenSize, int parallelChunkConcurrency,
              bool streamingEnabled, int streamingThreshold, bool melChunkContext, bool dualDecodeArbitration);

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

    bool operator==(const ASRConfig&) const = default;
};

} // namespace quorl
