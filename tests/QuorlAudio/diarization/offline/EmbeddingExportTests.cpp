#include "QuorlAudio/diarization/offline/EmbeddingExport.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/SystemError.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

TimedEmbedding embedding(std::int64_t chunk, float value) {
    TimedEmbedding result{.chunkIndex = chunk,
                          .speakerIndex = 2,
                          .startFrame = 3,
                          .endFrame = 9,
                          .frameWeights = {1, 1},
                          .startTime = 1.25,
                          .endTime = 2.5,
                          .embedding256 = std::vector<float>(256, value),
                          .rho128 = std::vector<double>(128, 0.1)};
    result.embedding256[0] = 0.1f;
    return result;
}

class EmbeddingExportTest : public ::testing::Test {
protected:
    std::string path() const { return (folder.path() / "embeddings.json").string(); }

    nlohmann::json exported() const { return nlohmann::json::parse(testsupport::fileContents(path())); }

    std::vector<std::string> lines() const { return sink.messages("OfflineDiarizer"); }

    testsupport::TemporaryFolder folder;
    testsupport::RecordingLogSink sink;
    const AppLogger logger{"OfflineDiarizer"};
};

TEST_F(EmbeddingExportTest, EveryEmbeddingIsWrittenWithItsCluster) {
    std::ofstream(path()) << std::string(100000, 'x');
    const std::vector<TimedEmbedding> embeddings{embedding(0, 0.5f), embedding(1, -1.5f), embedding(2, 2.0f)};

    exportEmbeddings(embeddings, {1, 0, 1}, path(), logger);

    const auto json = exported();
    ASSERT_EQ(json.size(), 3u);
    for (std::size_t index = 0; index < 3; ++index) {
        const auto& object = json[index];
        EXPECT_EQ(object.size(), 9u);
        EXPECT_EQ(object["chunkIndex"], index);
        EXPECT_EQ(object["speakerIndex"], 2);
        EXPECT_EQ(object["startFrame"], 3);
        EXPECT_EQ(object["endFrame"], 9);
        EXPECT_EQ(object["startTime"], 1.25);
        EXPECT_EQ(object["endTime"], 2.5);
        EXPECT_EQ(object["embedding256"].get<std::vector<float>>(), embeddings[index].embedding256);
        EXPECT_EQ(object["rho128"].get<std::vector<double>>(), embeddings[index].rho128);
    }
    EXPECT_EQ(json[0]["cluster"], 1);
    EXPECT_EQ(json[1]["cluster"], 0);
    EXPECT_EQ(json[2]["cluster"], 1);
    // Compact, with floats in their own shortest form.
    const auto text = testsupport::fileContents(path());
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_NE(text.find("[0.1,0.5,"), std::string::npos);
    EXPECT_EQ(lines(), std::vector<std::string>{"Exported 3 embeddings to " + path()});
}

TEST_F(EmbeddingExportTest, EmbeddingsPastTheAssignmentsHaveNoCluster) {
    exportEmbeddings({embedding(0, 1), embedding(1, 1)}, {4}, path(), logger);
    EXPECT_EQ(exported()[0]["cluster"], 4);
    EXPECT_EQ(exported()[1]["cluster"], -1);
}

TEST_F(EmbeddingExportTest, AValueThatIsNotFiniteFailsBeforeTheFileIsTouched) {
    std::ofstream(path()) << "previous";
    auto broken = embedding(1, 1);
    broken.rho128[5] = NAN;
    auto endless = embedding(2, 1);
    endless.endTime = INFINITY;
    for (const auto& bad : {broken, endless}) {
        EXPECT_THROW(exportEmbeddings({embedding(0, 1), bad}, {0, 0}, path(), logger), platform::core::SystemError);
        EXPECT_EQ(testsupport::fileContents(path()), "previous");
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(EmbeddingExportTest, AFolderThatDoesNotExistIsNotMade) {
    const auto missing = (folder.path() / "missing" / "embeddings.json").string();
    EXPECT_THROW(exportEmbeddings({embedding(0, 1)}, {0}, missing, logger), platform::core::SystemError);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));
    EXPECT_TRUE(lines().empty());
}

} // namespace
} // namespace quorl
