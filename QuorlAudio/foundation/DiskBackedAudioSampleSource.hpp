#pragma once

#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace quorl {

// Samples in a temporary file of native-endian 32-bit floats, memory-mapped, so that reading is a memory
// copy without decoding. Copies share the same mapping and file; the owner calls cleanup() when it has
// finished reading, which removes the file (the mapping stays readable while any copy lives).
class DiskBackedAudioSampleSource : public AudioSampleSource {
public:
    // A file's contents mapped read-only into memory. An empty file maps to no bytes.
    class MappedData {
    public:
        // Throws platform::core::SystemError when the file cannot be opened, inspected or mapped.
        static std::shared_ptr<const MappedData> map(const std::filesystem::path& path);
        ~MappedData();
        MappedData(const MappedData&) = delete;
        MappedData& operator=(const MappedData&) = delete;

        std::span<const std::byte> bytes() const { return {address_, size_}; }

    private:
        MappedData(const std::byte* address, std::size_t size);

        const std::byte* address_;
        std::size_t size_;
    };

    // sampleCount is the mapped byte count / floatStride (whole samples only).
    DiskBackedAudioSampleSource(std::shared_ptr<const MappedData> mappedData, std::filesystem::path fileURL);

    std::span<const std::byte> mappedData() const { return mappedData_->bytes(); }
    // Bytes per sample.
    static constexpr std::int64_t floatStride = sizeof(float);
    const std::filesystem::path& fileURL() const { return fileURL_; }

    std::int64_t sampleCount() const override { return sampleCount_; }
    void copySamples(float* destination, std::int64_t offset, std::int64_t count) const override;

    // Removes the temporary file; a failure (such as a file already removed) is ignored.
    void cleanup() const;

private:
    std::shared_ptr<const MappedData> mappedData_;
    std::filesystem::path fileURL_;
    std::int64_t sampleCount_;
};

} // namespace quorl
