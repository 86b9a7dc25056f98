#include "QuorlAudio/foundation/AudioSourceFactory.hpp"

#include "QuorlAudio/foundation/AudioSourceError.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/FormatConverter.hpp"
#include "platform/core/AsciiCase.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/UUID.hpp"
#include "platform/sys/FileDescriptorIO.hpp"
#include "platform/sys/UserFolders.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <span>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace quorl {

namespace {

using platform::audio::AudioFile;
using platform::audio::AudioFormat;
using platform::audio::FormatConverter;
using platform::audio::PCMBuffer;

constexpr std::uint32_t inputBufferFrames = 16384;
constexpr std::uint32_t minimumOutputFrames = 1024;
constexpr std::int64_t outputFramesLimit = std::int64_t{1} << 32;

std::filesystem::path makeTemporaryURL() {
    return platform::sys::UserFolders::temporary() /
           ("quorlaudio-streaming-" + platform::core::UUID::random().uuidString() + ".raw");
}

AudioSourceError failedToAllocateBuffer(const std::string& name, std::int64_t requestedFrames) {
    return AudioSourceError::processingFailed("Failed to allocate " + platform::core::asciiLowercased(name) +
                                              " buffer (" + std::to_string(requestedFrames) + " frames)");
}

// The temporary file, created empty and open for writing. Until kept, it is removed when this goes away, so that
// no failure leaves it behind; the descriptor is closed on every way out.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path)
        : path_(std::move(path)), descriptor_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) {
        if (descriptor_ < 0) {
            throw AudioSourceError::processingFailed("Failed to create temporary audio buffer at " + path_.string());
        }
    }
    ~TemporaryFile() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        if (!kept_) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    void write(const float* samples, std::size_t count) {
        if (!platform::sys::writeAll(descriptor_, std::as_bytes(std::span(samples, count)))) {
            throw platform::core::SystemError::fromErrno(errno, "Cannot write to " + path_.string());
        }
    }

    void synchronizeAndClose() {
        if (::fsync(descriptor_) != 0) {
            throw platform::core::SystemError::fromErrno(errno, "Cannot synchronise " + path_.string());
        }
        const int descriptor = std::exchange(descriptor_, -1);
        if (::close(descriptor) != 0) {
            throw platform::core::SystemError::fromErrno(errno, "Cannot close " + path_.string());
        }
    }

    void keep() { kept_ = true; }

private:
    std::filesystem::path path_;
    int descriptor_;
    bool kept_ = false;
};

// What the input block shares with the conversion loop: the end of the input and the first read error.
struct InputState {
    std::mutex mutex;
    bool ended = false;
    std::exception_ptr readError;
};

FormatConverter::InputBlock fileInput(AudioFile& file, const std::shared_ptr<PCMBuffer>& buffer,
                                      const std::shared_ptr<InputState>& state) {
    return [&file, buffer, state](std::uint32_t wanted) -> FormatConverter::InputBlockResult {
        const std::lock_guard lock(state->mutex);
        if (state->ended) {
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        // Never more than the buffer holds, whatever the converter asks for.
        const std::int64_t frames = std::min({static_cast<std::int64_t>(wanted), file.length() - file.framePosition(),
                                              static_cast<std::int64_t>(buffer->frameCapacity())});
        buffer->setFrameLength(0);
        if (frames > 0) {
            try {
                file.read(*buffer, static_cast<std::uint32_t>(frames));
            } catch (...) {
                state->readError = std::current_exception();
                buffer->setFrameLength(0);
            }
        }
        if (buffer->frameLength() == 0) {
            state->ended = true;
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        return {.status = FormatConverter::InputStatus::haveData, .buffer = buffer};
    };
}

std::int64_t streamConvert(AudioFile& audioFile, FormatConverter& converter, TemporaryFile& handle) {
    const auto input = PCMBuffer::make(audioFile.processingFormat(), inputBufferFrames);
    if (!input) {
        throw failedToAllocateBuffer("Input", inputBufferFrames);
    }
    // Rates are whole numbers of at least 1 Hz and below 2^31 Hz, so the capacity is a modest whole number.
    const auto capacity = static_cast<std::int64_t>(std::ceil(
        converter.outputFormat().sampleRate() * inputBufferFrames / audioFile.processingFormat().sampleRate()));
    const auto output = capacity < outputFramesLimit
                            ? PCMBuffer::make(converter.outputFormat(),
                                              std::max(static_cast<std::uint32_t>(capacity), minimumOutputFrames))
                            : nullptr;
    if (!output) {
        throw failedToAllocateBuffer("Output", capacity);
    }
    const auto state = std::make_shared<InputState>();
    const auto inputBlock = fileInput(audioFile, input, state);
    std::int64_t total = 0;
    while (true) {
        output->setFrameLength(0);
        const auto result = converter.convert(*output, inputBlock);
        if (result.error) {
            throw AudioSourceError::processingFailed(std::string("Audio conversion failed: ") + result.error->what());
        }
        if (state->readError) {
            throw AudioSourceError::processingFailed("Failed while reading audio: " +
                                                     platform::core::describe(state->readError));
        }
        if (output->frameLength() > 0) {
            if (output->floatChannelData() == nullptr) {
                throw AudioSourceError::processingFailed("Missing channel data during conversion");
            }
            handle.write(output->floatChannelData()[0], output->frameLength());
            total += output->frameLength();
        }
        if (result.status == FormatConverter::OutputStatus::endOfStream) {
            return total;
        }
    }
}

AudioFormat targetFormatAt(int targetSampleRate) {
    const auto format = AudioFormat::make(platform::audio::CommonFormat::float32, targetSampleRate, 1, false);
    if (!format) {
        throw std::invalid_argument("Invalid target sample rate " + std::to_string(targetSampleRate) + " Hz");
    }
    return *format;
}

std::string rateAndChannels(const AudioFormat& format) {
    return decimalText(format.sampleRate()) + "Hz×" + std::to_string(format.channelCount()) + "ch";
}

} // namespace

AudioSourceFactory::AudioSourceFactory() : logger_("AudioSourceFactory") {}

AudioSourceFactory::DiskBackedSource AudioSourceFactory::makeDiskBackedSource(const std::filesystem::path& url,
                                                                              int targetSampleRate) const {
    const auto start = std::chrono::steady_clock::now();
    try {
        AudioFile file(url);
        const AudioFormat& inputFormat = file.processingFormat();
        const AudioFormat targetFormat = targetFormatAt(targetSampleRate);
        TemporaryFile handle(makeTemporaryURL());
        const auto converter = FormatConverter::make(inputFormat, targetFormat);
        if (!converter) {
            throw AudioSourceError::processingFailed("Unsupported audio format " + inputFormat.description() +
                                                     "; failed to create converter");
        }
        logger_.debug("Streaming conversion " + rateAndChannels(inputFormat) + " → " + rateAndChannels(targetFormat));

        std::int64_t total = 0;
        try {
            total = streamConvert(file, *converter, handle);
        } catch (...) {
            logger_.error("Streaming conversion failed before file mapping: " +
                          platform::core::describe(std::current_exception()));
            throw;
        }
        handle.synchronizeAndClose();

        const std::uintmax_t size = std::filesystem::file_size(handle.path());
        logger_.debug("Streaming audio temp file size=" + std::to_string(size) + " bytes");
        logger_.debug("Streaming audio total samples=" + std::to_string(total));

        DiskBackedAudioSampleSource source(DiskBackedAudioSampleSource::MappedData::map(handle.path()), handle.path());
        if (source.sampleCount() != total) {
            logger_.warning("Mapped sample count mismatch (reported=" + std::to_string(source.sampleCount()) +
                            ", tracked=" + std::to_string(total) + "); continuing");
        }
        handle.keep();
        return {.source = std::move(source), .loadDuration = platform::core::secondsSince(start)};
    } catch (const AudioSourceError&) {
        throw;
    } catch (...) {
        const std::string message =
            "Streaming audio source creation failed: " + platform::core::describe(std::current_exception());
        logger_.error(message);
        throw AudioSourceError::processingFailed(message);
    }
}

} // namespace quorl
