#pragma once

#include <sndfile.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// Writes interleaved float frames to a sound file in the given libsndfile format (for example
// SF_FORMAT_WAV | SF_FORMAT_PCM_16), so that tests make their own audio fixtures.
inline void writeSoundFile(const std::filesystem::path& path, int format, int sampleRate, int channelCount,
                           const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channelCount;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("Cannot write " + path.string() + ": " + sf_strerror(nullptr));
    }
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channelCount;
    const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
    sf_close(file);
    if (written != frames) {
        throw std::runtime_error("Short write to " + path.string());
    }
}

} // namespace testsupport
