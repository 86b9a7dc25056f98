#include "QuorlAudio/foundation/DiskBackedAudioSampleSource.hpp"

#include "platform/core/SystemError.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace quorl {

namespace {

// Closes the descriptor when the mapping is made (or has failed); the mapping outlives it.
class ReadOnlyDescriptor {
public:
    explicit ReadOnlyDescriptor(const std::filesystem::path& path)
        : descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (descriptor_ < 0) {
            throw platform::core::SystemError::fromErrno(errno, "Cannot open " + path.string());
        }
    }
    ~ReadOnlyDescriptor() { ::close(descriptor_); }
    ReadOnlyDescriptor(const ReadOnlyDescriptor&) = delete;
    ReadOnlyDescriptor& operator=(const ReadOnlyDescriptor&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace

std::shared_ptr<const DiskBackedAudioSampleSource::MappedData>
DiskBackedAudioSampleSource::MappedData::map(const std::filesystem::path& path) {
    const ReadOnlyDescriptor descriptor(path);
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0) {
        throw platform::core::SystemError::fromErrno(errno, "Cannot inspect " + path.string());
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (size == 0) {
        return std::shared_ptr<const MappedData>(new MappedData(nullptr, 0));
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor.get(), 0);
    if (address == MAP_FAILED) {
        throw platform::core::SystemError::fromErrno(errno, "Cannot map " + path.string());
    }
    return std::shared_ptr<const MappedData>(new MappedData(static_cast<const std::byte*>(address), size));
}

DiskBackedAudioSampleSource::MappedData::MappedData(const std::byte* address, std::size_t size)
    : address_(address), size_(size) {}

DiskBackedAudioSampleSource::MappedData::~MappedData() {
    if (address_ != nullptr) {
        ::munmap(const_cast<std::byte*>(address_), size_);
    }
}

DiskBackedAudioSampleSource::DiskBackedAudioSampleSource(std::shared_ptr<const MappedData> mappedData,
                                                         std::filesystem::path fileURL)
    : mappedData_(std::move(mappedData)), fileURL_(std::move(fileURL)),
      sampleCount_(static_cast<std::int64_t>(mappedData_->bytes().size()) / floatStride) {}

void DiskBackedAudioSampleSource::copySamples(float* destination, std::int64_t offset, std::int64_t count) const {
    const std::int64_t start = std::max<std::int64_t>(offset, 0);
    if (count <= 0 || start >= sampleCount_) {
        return;
    }
    const std::int64_t copied = std::min(count, sampleCount_ - start);
    std::memcpy(destination, mappedData_->bytes().data() + start * floatStride,
                static_cast<std::size_t>(copied * floatStride));
}

void DiskBackedAudioSampleSource::cleanup() const {
    std::error_code ignored;
    std::filesystem::remove(fileURL_, ignored);
}

} // namespace quorl
