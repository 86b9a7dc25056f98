#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "QuorlAudio/foundation/DiskBackedAudioSampleSource.hpp"

#include "tests/support/TemporaryFolder.hpp"

#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace quorl {
namespace {

std::filesystem::path writeRawFloats(const std::filesystem::path& path, const std::vector<float>& samples) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
    return path;
}

DiskBackedAudioSampleSource diskSource(const std::filesystem::path& path, const std::vector<float>& samples) {
    writeRawFloats(path, samples);
    return DiskBackedAudioSampleSource(DiskBackedAudioSampleSource::MappedData::map(path), path);
}

TEST(AudioSampleSourceTests, BothSourcesCopyOnlyWhatExistsAndLeaveTheRestOfTheDestination) {
    const testsupport::TemporaryFolder folder;
    const std::vector<float> samples{1, 2, 3, 4, 5};
    const struct {
        const char* name;
        std::int64_t offset;
        std::int64_t count;
        std::vector<float> expected;
    } cases[] = {
        {"count 0", 1, 0, {-1, -1, -1, -1, -1, -1, -1}},
        {"negative count", 1, -3, {-1, -1, -1, -1, -1, -1, -1}},
        {"offset at the end", 5, 2, {-1, -1, -1, -1, -1, -1, -1}},
        {"offset past the end", 9, 2, {-1, -1, -1, -1, -1, -1, -1}},
        {"negative offset reads from 0", -2, 3, {1, 2, 3, -1, -1, -1, -1}},
        {"count past the end", 3, 5, {4, 5, -1, -1, -1, -1, -1}},
        {"inside", 1, 2, {2, 3, -1, -1, -1, -1, -1}},
        {"everything", 0, 5, {1, 2, 3, 4, 5, -1, -1}},
    };
    const ArrayAudioSampleSource inMemory(samples);
    const DiskBackedAudioSampleSource onDisk = diskSource(folder.path() / "samples.raw", samples);
    for (const AudioSampleSource* source : std::initializer_list<const AudioSampleSource*>{&inMemory, &onDisk}) {
        EXPECT_EQ(source->sampleCount(), 5);
        for (const auto& c : cases) {
            std::vector<float> destination(7, -1.0f);
            source->copySamples(destination.data(), c.offset, c.count);
            EXPECT_EQ(destination, c.expected) << c.name << (source == &inMemory ? " in memory" : " on disk");
        }
    }
}

TEST(AudioSampleSourceTests, EmptySourcesCopyNothing) {
    const testsupport::TemporaryFolder folder;
    const ArrayAudioSampleSource inMemory({});
    const DiskBackedAudioSampleSource onDisk = diskSource(folder.path() / "empty.raw", {});
    for (const AudioSampleSource* source : std::initializer_list<const AudioSampleSource*>{&inMemory, &onDisk}) {
        EXPECT_EQ(source->sampleCount(), 0);
        float destination = -1;
        source->copySamples(&destination, 0, 1);
        EXPECT_EQ(destination, -1);
    }
}

TEST(DiskBackedAudioSampleSourceTests, CountsWholeSamplesAndSharesTheMappingBetweenCopies) {
    const testsupport::TemporaryFolder folder;
    const auto path = writeRawFloats(folder.path() / "odd.raw", {0.5f, -0.25f});
    std::ofstream(path, std::ios::binary | std::ios::app) << "xy";
    const DiskBackedAudioSampleSource source(DiskBackedAudioSampleSource::MappedData::map(path), path);
    EXPECT_EQ(source.mappedData().size(), 10u);
    EXPECT_EQ(source.sampleCount(), 2);
    EXPECT_EQ(source.fileURL(), path);

    const DiskBackedAudioSampleSource copy = source;
    EXPECT_EQ(copy.mappedData().data(), source.mappedData().data());
}

TEST(DiskBackedAudioSampleSourceTests, CleanupRemovesTheFileOnceAndStaysQuietAfterwards) {
    const testsupport::TemporaryFolder folder;
    const DiskBackedAudioSampleSource source = diskSource(folder.path() / "samples.raw", {0.5f, -0.25f});
    source.cleanup();
    EXPECT_FALSE(std::filesystem::exists(source.fileURL()));
    EXPECT_NO_THROW(source.cleanup());
    // The mapping outlives the file's name.
    float destination[2] = {};
    source.copySamples(destination, 0, 2);
    EXPECT_EQ(destination[1], -0.25f);
}

TEST(DiskBackedAudioSampleSourceTests, MappingAMissingFileFails) {
    const testsupport::TemporaryFolder folder;
    EXPECT_THROW(DiskBackedAudioSampleSource::MappedData::map(folder.path() / "missing.raw"),
                 platform::core::SystemError);
}

} // namespace
} // namespace quorl
