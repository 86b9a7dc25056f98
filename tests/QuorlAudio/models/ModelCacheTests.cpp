#include "LogLines.hpp"
#include "QuorlAudio/models/FileError.hpp"
#include "QuorlAudio/models/ModelCache.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using testing::logLines;

void writeFile(const fs::path& path, const std::string& text = "x") {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class ModelCacheTest : public ::testing::Test {
protected:
    testsupport::TemporaryFolder scratch;
    const fs::path root = scratch.path() / "Models";
    testsupport::RecordingLogSink sink;
};

TEST_F(ModelCacheTest, ListsTheMissingNamesInAscendingOrderCountingAnyEntryAsPresent) {
    fs::create_directories(root / "Encoder.mlmodelc");
    writeFile(root / "encoder_int8.mlmodelc");

    EXPECT_EQ(ModelCache::missingModels(
                  root, {"Zeta.mlmodelc", "Encoder.mlmodelc", "Alpha.json", "encoder/encoder_int8.mlmodelc"}),
              (std::vector<std::string>{"Alpha.json", "Zeta.mlmodelc", "encoder/encoder_int8.mlmodelc"}));
    EXPECT_TRUE(ModelCache::missingModels(root, {}).empty());
}

struct LayoutCase {
    std::string name;
    // Makes what lies at the bundle's path.
    void (*prepare)(const fs::path& bundle);
    FileError::Kind kind;
    std::string description;
    bool pathIsTheMarker;
};

TEST_F(ModelCacheTest, RefusesABundleThatIsAbsentNotAFolderOrWithoutItsCompiledData) {
    const std::vector<LayoutCase> cases = {
        {"absent", [](const fs::path&) {}, FileError::Kind::fileNoSuchFile, "Model file not found: Encoder.mlmodelc",
         false},
        {"a file", [](const fs::path& bundle) { writeFile(bundle); }, FileError::Kind::fileReadCorruptFile,
         "Model path is not a directory: Encoder.mlmodelc", false},
        {"an empty folder", [](const fs::path& bundle) { fs::create_directories(bundle); },
         FileError::Kind::fileReadCorruptFile, "Missing coremldata.bin in model: Encoder.mlmodelc", true},
    };
    for (const auto& [name, prepare, kind, description, pathIsTheMarker] : cases) {
        const fs::path bundle = root / name / "Encoder.mlmodelc";
        prepare(bundle);
        try {
            ModelCache::validateCompiledModelLayout(bundle, "Encoder.mlmodelc");
            ADD_FAILURE() << name << ": accepted";
        } catch (const FileError& error) {
            EXPECT_EQ(error.kind(), kind) << name;
            EXPECT_EQ(error.domain(), "NSCocoaErrorDomain") << name;
            EXPECT_EQ(error.what(), description) << name;
            EXPECT_EQ(error.filePath(), pathIsTheMarker ? bundle / "coremldata.bin" : bundle) << name;
        }
    }
    EXPECT_EQ(logLines(sink), std::vector<std::string>{"Missing coremldata.bin in Encoder.mlmodelc"});
}

TEST_F(ModelCacheTest, AcceptsAFolderHoldingCompiledData) {
    writeFile(root / "Encoder.mlmodelc" / "coremldata.bin");
    EXPECT_NO_THROW(ModelCache::validateCompiledModelLayout(root / "Encoder.mlmodelc", "Encoder.mlmodelc"));
}

TEST_F(ModelCacheTest, PurgesAFolderWithEverythingInItAndIsSilentWhenItIsAlreadyGone) {
    const fs::path folder = root / "silero-vad";
    writeFile(folder / "Encoder.mlmodelc" / "coremldata.bin");

    ModelCache::purgeCorruptedCache(folder);
    ModelCache::purgeCorruptedCache(folder);

    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(logLines(sink), std::vector<std::string>{"Successfully deleted corrupted cache at " + folder.string()});
}

TEST_F(ModelCacheTest, ReplacesAFileBlockingTheFolderPathBelowTheRoot) {
    writeFile(root / "nemotron-streaming");
    const fs::path target = root / "nemotron-streaming" / "2240ms" / "encoder";

    ModelCache::createDirectoryRobustly(target, root);

    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(logLines(sink), std::vector<std::string>{"Removing file blocking directory creation: " +
                                                       (root / "nemotron-streaming").string()});
}

TEST_F(ModelCacheTest, LeavesAnExistingFolderAlone) {
    fs::create_directories(root / "a" / "b");
    ModelCache::createDirectoryRobustly(root / "a" / "b", root);
    EXPECT_TRUE(logLines(sink).empty());
}

TEST_F(ModelCacheTest, NeverRemovesAFileOutsideTheRoot) {
    // A file where the root's own parent should be: repairing from "/" down would delete it.
    const fs::path blocker = scratch.path() / "QuorlAudio";
    writeFile(blocker, "user data");
    const fs::path blockedRoot = blocker / "Models";

    EXPECT_THROW(ModelCache::createDirectoryRobustly(blockedRoot / "silero-vad", blockedRoot), fs::filesystem_error);

    EXPECT_TRUE(fs::is_regular_file(blocker));
    EXPECT_TRUE(logLines(sink).empty());
}

TEST_F(ModelCacheTest, StopsRepairingAtALinkThatLeadsOutOfTheCache) {
    const fs::path elsewhere = scratch.path() / "elsewhere";
    writeFile(elsewhere / "notes");
    fs::create_directories(root);
    fs::create_directory_symlink(elsewhere, root / "linked");

    EXPECT_THROW(ModelCache::createDirectoryRobustly(root / "linked" / "notes" / "x", root), fs::filesystem_error);

    EXPECT_TRUE(fs::is_regular_file(elsewhere / "notes"));
}

} // namespace
} // namespace quorl
