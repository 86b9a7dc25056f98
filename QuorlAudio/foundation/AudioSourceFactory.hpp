#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DiskBackedAudioSampleSource.hpp"

#include <filesystem>

namespace quorl {

// Turns audio files into disk-backed sample sources: the file is streamed through a format converter block by
// block into a temporary file of mono Float32 samples ("quorlaudio-streaming-<UUID>.raw" in the temporary
// folder), which is then memory-mapped, so a file of any length converts in bounded memory.
class AudioSourceFactory {
public:
    struct DiskBackedSource {
        DiskBackedAudioSampleSource source;
        // Seconds the conversion took.
        double loadDuration;
    };

    AudioSourceFactory();

    // Throws AudioSourceError::processingFailed on every failure. The temporary file is removed when the
    // source cannot be made; on success the caller owns it and removes it with the source's cleanup().
    DiskBackedSource makeDiskBackedSource(const std::filesystem::path& url, int targetSampleRate) const;

private:
    AppLogger logger_;
};

} // namespace quorl
