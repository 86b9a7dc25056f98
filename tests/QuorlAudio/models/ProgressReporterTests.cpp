#include "QuorlAudio/models/ProgressReporter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

struct ByteCase {
    std::string name;
    double weight;
    std::int64_t baseBytes;
    std::int64_t totalBytes;
    int totalFiles;
    std::int64_t written;
    std::vector<DownloadProgress> reports;
};

TEST(ProgressReporter, TurnsTheBytesOfTheCurrentFileIntoTheWeightedShareOfTheWhole) {
    const std::vector<ByteCase> cases = {
        {"half of the repository", 0.5, 300, 1000, 4, 200, {{0.25, DownloadPhase::downloading(2, 4)}}},
        {"a sub-folder", 1.0, 300, 1000, 4, 200, {{0.5, DownloadPhase::downloading(2, 4)}}},
        {"more bytes than announced", 0.5, 900, 1000, 4, 500, {{0.5, DownloadPhase::downloading(2, 4)}}},
        {"no files counted", 0.5, 0, 1000, 0, 10, {{0.5, DownloadPhase::downloading(2, 0)}}},
        {"sizes unknown", 0.5, 0, 0, 4, 500, {}},
    };
    for (const auto& [name, weight, baseBytes, totalBytes, totalFiles, written, reports] : cases) {
        std::vector<DownloadProgress> seen;
        const ProgressReporter reporter{
            .handler = [&seen](const DownloadProgress& progress) { seen.push_back(progress); },
            .downloadPhaseWeight = weight,
        };
        const auto callback = reporter.liveBytesCallback(baseBytes, totalBytes, 2, totalFiles);
        ASSERT_TRUE(callback) << name;
        // The file's own expected size plays no part.
        callback(written, 123456);
        EXPECT_EQ(seen, reports) << name;
    }
}

TEST(ProgressReporter, GivesNoCallbackWithoutAHandler) {
    const ProgressReporter reporter{.handler = {}, .downloadPhaseWeight = 0.5};
    EXPECT_FALSE(reporter.liveBytesCallback(0, 1000, 0, 1));
}

} // namespace
} // namespace quorl
