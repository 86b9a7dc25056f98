#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace platform::audio {

// An audio file opened for reading: anything libsndfile reads (WAV, FLAC, OGG/Vorbis, AIFF, …). Frames are
// read in order into Float32 non-interleaved buffers at the file's own rate and channel count (the processing
// format); integer samples are scaled to [-1, 1).
//
// Failures are platform::core::SystemError: opening a missing or unreadable file has domain "POSIX" and the
// errno code; a file libsndfile refuses (unknown format, corrupt header) or a failed read has domain
// "libsndfile" and its error code; a buffer of the wrong format or too small has domain "AudioFile". Movable,
// not copyable.
class AudioFile {
public:
    explicit AudioFile(const std::filesystem::path& url);
    ~AudioFile();
    AudioFile(AudioFile&&) noexcept;
    AudioFile& operator=(AudioFile&&) noexcept;

    const std::filesystem::path& url() const;
    // The samples as stored: interleaved, Int16 for 8- and 16-bit integer files, Int32 for wider integers,
    // Float64 for double files and Float32 otherwise (floats and compressed formats).
    const AudioFormat& fileFormat() const;
    // Float32, non-interleaved, the file's rate and channel count.
    const AudioFormat& processingFormat() const;
    // Frames in the file.
    std::int64_t length() const;
    // The next frame to be read.
    std::int64_t framePosition() const;

    // Reads up to the buffer's capacity; see read(buffer, frameCount).
    void read(PCMBuffer& buffer);
    // Reads the next frames, at most frameCount, into the buffer from its first frame and sets its frame length
    // to the frames read: fewer near the end of the file, 0 at the end. The buffer must be in the processing
    // format and frameCount must not exceed its capacity (otherwise SystemError, nothing read).
    void read(PCMBuffer& buffer, std::uint32_t frameCount);

private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

} // namespace platform::audio
