#include "platform/audio/AudioFile.hpp"

#include "platform/core/SystemError.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace platform::audio {

namespace {

const char* const sndfileDomain = "libsndfile";
// Misuse of a file: a buffer of the wrong format or too small for the frames asked for.
const char* const fileDomain = "AudioFile";
constexpr std::int64_t invalidBufferCode = 1;

CommonFormat storedCommonFormat(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16: return CommonFormat::int16;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32: return CommonFormat::int32;
    case SF_FORMAT_DOUBLE: return CommonFormat::float64;
    default: return CommonFormat::float32;
    }
}

AudioFormat formatOrThrow(CommonFormat commonFormat, const SF_INFO& info, bool interleaved,
                          const std::filesystem::path& url) {
    const auto format =
        AudioFormat::make(commonFormat, info.samplerate, static_cast<std::uint32_t>(info.channels), interleaved);
    if (!format) {
        throw core::SystemError(sndfileDomain, SF_ERR_MALFORMED_FILE,
                                "Cannot read audio file " + url.string() + ": invalid sample rate or channel count");
    }
    return *format;
}

struct CloseDescriptor {
    void operator()(int* descriptor) const {
        ::close(*descriptor);
        delete descriptor;
    }
};

struct CloseSoundFile {
    void operator()(SNDFILE* handle) const { sf_close(handle); }
};

// The descriptor is opened here so that a missing or unreadable file reports its errno, which libsndfile would
// fold into a generic system error. libsndfile is told not to close it; it is closed after the sound file.
std::unique_ptr<int, CloseDescriptor> openDescriptor(const std::filesystem::path& url) {
    const int descriptor = ::open(url.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        throw core::SystemError::fromErrno(errno, "Cannot open audio file " + url.string());
    }
    return std::unique_ptr<int, CloseDescriptor>(new int(descriptor));
}

std::unique_ptr<SNDFILE, CloseSoundFile> openSoundFile(int descriptor, SF_INFO& info,
                                                       const std::filesystem::path& url) {
    SNDFILE* handle = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
    if (handle == nullptr) {
        throw core::SystemError(sndfileDomain, sf_error(nullptr),
                                "Cannot read audio file " + url.string() + ": " + sf_strerror(nullptr));
    }
    return std::unique_ptr<SNDFILE, CloseSoundFile>(handle);
}

} // namespace

// The open file and the reading position. Members are declared in the order they are opened, so that a
// failure part-way closes what was opened, and closing runs in reverse.
class AudioFile::Reader {
public:
    explicit Reader(const std::filesystem::path& url)
        : url_(url), descriptor_(openDescriptor(url)), handle_(openSoundFile(*descriptor_, info_, url)),
          fileFormat_(formatOrThrow(storedCommonFormat(info_.format), info_, true, url)),
          processingFormat_(formatOrThrow(CommonFormat::float32, info_, false, url)) {}

    const std::filesystem::path& url() const { return url_; }
    const AudioFormat& fileFormat() const { return fileFormat_; }
    const AudioFormat& processingFormat() const { return processingFormat_; }
    std::int64_t length() const { return info_.frames; }
    std::int64_t framePosition() const { return framePosition_; }

    void read(PCMBuffer& buffer, std::uint32_t frameCount);

private:
    void checkBuffer(const PCMBuffer& buffer, std::uint32_t frameCount) const;
    sf_count_t readFrames(PCMBuffer& buffer, sf_count_t frames);

    const std::filesystem::path url_;
    SF_INFO info_{};
    const std::unique_ptr<int, CloseDescriptor> descriptor_;
    const std::unique_ptr<SNDFILE, CloseSoundFile> handle_;
    const AudioFormat fileFormat_;
    const AudioFormat processingFormat_;
    std::int64_t framePosition_ = 0;
    // Room for interleaved frames of multi-channel files, reused from read to read.
    std::vector<float> interleaved_;
};

void AudioFile::Reader::checkBuffer(const PCMBuffer& buffer, std::uint32_t frameCount) const {
    if (buffer.format() != processingFormat_) {
        throw core::SystemError(fileDomain, invalidBufferCode,
                                "Cannot read audio file " + url_.string() + " into a buffer of format " +
                                    buffer.format().description() + "; expected " + processingFormat_.description());
    }
    if (frameCount > buffer.frameCapacity()) {
        throw core::SystemError(fileDomain, invalidBufferCode,
                                "Cannot read " + std::to_string(frameCount) + " frames of audio file " + url_.string() +
                                    " into a buffer of " + std::to_string(buffer.frameCapacity()) + " frames");
    }
}

void AudioFile::Reader::read(PCMBuffer& buffer, std::uint32_t frameCount) {
    checkBuffer(buffer, frameCount);
    const sf_count_t wanted = std::min<sf_count_t>(frameCount, std::max<sf_count_t>(info_.frames - framePosition_, 0));
    const sf_count_t frames = wanted > 0 ? readFrames(buffer, wanted) : 0;
    if (sf_error(handle_.get()) != SF_ERR_NO_ERROR) {
        buffer.setFrameLength(0);
        throw core::SystemError(sndfileDomain, sf_error(handle_.get()),
                                "Cannot read audio file " + url_.string() + ": " + sf_strerror(handle_.get()));
    }
    framePosition_ += frames;
    buffer.setFrameLength(static_cast<std::uint32_t>(frames));
}

sf_count_t AudioFile::Reader::readFrames(PCMBuffer& buffer, sf_count_t frames) {
    const std::uint32_t channels = processingFormat_.channelCount();
    float* const* channelData = buffer.floatChannelData();
    if (channels == 1) {
        return sf_readf_float(handle_.get(), channelData[0], frames);
    }
    interleaved_.resize(static_cast<std::size_t>(frames) * channels);
    const sf_count_t read = sf_readf_float(handle_.get(), interleaved_.data(), frames);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        float* target = channelData[channel];
        for (sf_count_t frame = 0; frame < read; ++frame) {
            target[frame] = interleaved_[static_cast<std::size_t>(frame) * channels + channel];
        }
    }
    return read;
}

AudioFile::AudioFile(const std::filesystem::path& url) : reader_(std::make_unique<Reader>(url)) {}

AudioFile::~AudioFile() = default;
AudioFile::AudioFile(AudioFile&&) noexcept = default;
AudioFile& AudioFile::operator=(AudioFile&&) noexcept = default;

const std::filesystem::path& AudioFile::url() const { return reader_->url(); }

const AudioFormat& AudioFile::fileFormat() const { return reader_->fileFormat(); }

const AudioFormat& AudioFile::processingFormat() const { return reader_->processingFormat(); }

std::int64_t AudioFile::length() const { return reader_->length(); }

std::int64_t AudioFile::framePosition() const { return reader_->framePosition(); }

void AudioFile::read(PCMBuffer& buffer) { reader_->read(buffer, buffer.frameCapacity()); }

void AudioFile::read(PCMBuffer& buffer, std::uint32_t frameCount) { reader_->read(buffer, frameCount); }

} // namespace platform::audio
