#include "QuorlAudio/tts/frontend/TTSError.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "QuorlAudio/tts/frontend/TtsConstants.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorl {
namespace {

namespace fs = std::filesystem;

class TtsCacheDirectoryTest : public ::testing::Test {
protected:
    TtsCacheDirectoryTest() { environment.set("HOME", home.string()); }

    testsupport::TemporaryFolder scratch;
    const fs::path home = scratch.path() / "home";
    const fs::path expected = home / ".cache" / "quorlaudio";
    testsupport::ScopedEnvironment environment;
};

TEST_F(TtsCacheDirectoryTest, MakesTheFolderWithItsMissingParents) {
    EXPECT_EQ(TtsCacheDirectory::ensure(), expected);
    EXPECT_TRUE(fs::is_directory(expected));
}

TEST_F(TtsCacheDirectoryTest, ReturnsAnExistingEntryUntouched) {
    fs::create_directories(expected / "Models");
    EXPECT_EQ(TtsCacheDirectory::ensure(), expected);
    EXPECT_TRUE(fs::is_directory(expected / "Models"));

    fs::remove_all(expected);
    std::ofstream(expected) << "a plain file";
    EXPECT_EQ(TtsCacheDirectory::ensure(), expected);
    EXPECT_EQ(testsupport::fileContents(expected), "a plain file");
}

TEST_F(TtsCacheDirectoryTest, AFolderThatCannotBeMadeThrowsTheFileSystemError) {
    fs::create_directories(home);
    std::ofstream(home / ".cache") << "not a folder";
    EXPECT_THROW(TtsCacheDirectory::ensure(), fs::filesystem_error);
}

TEST(TTSErrorTests, DescribesEachCaseWithItsPayload) {
    EXPECT_STREQ(TTSError::downloadFailed("x").what(), "Download failed: x");
    EXPECT_STREQ(TTSError::corruptedModel("x").what(), "Model x is corrupted");
    EXPECT_STREQ(TTSError::modelNotFound("x").what(), "Model x not found");
    EXPECT_STREQ(TTSError::processingFailed("y").what(), "Processing failed: y");
    EXPECT_EQ(TTSError::processingFailed("y").kind(), TTSError::Kind::processingFailed);
    EXPECT_EQ(TTSError::processingFailed("y").payload(), "y");
    EXPECT_EQ(TtsConstants::recommendedVoice, "af_heart");
}

} // namespace
} // namespace quorl
