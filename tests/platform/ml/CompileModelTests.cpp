#include "platform/ml/CompileModel.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/ReadOnlyFolder.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace platform::ml;

std::size_t entriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(CompileModel, APackageCompilesIntoALoadableBundleBesideIt) {
    testsupport::TemporaryFolder folder;
    testsupport::ScriptedKernel kernel("compiled");
    auto manifest = testsupport::modelManifest("compiled", {}, {});
    const auto package = testsupport::writeModelBundle(folder.path(), "encoder.mlpackage", manifest);
    std::filesystem::remove(package / "coremldata.bin");

    const auto compiled = compileModel(package);
    const auto again = compileModel(package);

    EXPECT_EQ(compiled.parent_path(), folder.path());
    EXPECT_EQ(compiled.extension(), ".mlmodelc");
    EXPECT_NE(compiled, again);
    EXPECT_TRUE(std::filesystem::exists(compiled / "coremldata.bin"));
    EXPECT_TRUE(std::filesystem::exists(package / "model.json"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "encoder.mlmodelc"));
    Model::load(compiled);
    EXPECT_EQ(kernel.loads().size(), 1u);

    // Callers move the result into place with a rename.
    std::filesystem::rename(compiled, folder.path() / "encoder.mlmodelc");
    Model::load(folder.path() / "encoder.mlmodelc");
}

TEST(CompileModel, APackageInAFolderThatCannotBeWrittenCompilesIntoTheTemporaryFolder) {
    testsupport::TemporaryFolder folder;
    testsupport::ScriptedKernel kernel("compiled-elsewhere");
    const auto package = testsupport::writeModelBundle(folder.path(), "joint.mlpackage",
                                                       testsupport::modelManifest("compiled-elsewhere", {}, {}));
    const testsupport::ReadOnlyFolder readOnly(folder.path());
    if (!readOnly.holds()) {
        GTEST_SKIP() << "this user can write to any folder";
    }

    const auto compiled = compileModel(package);

    EXPECT_EQ(compiled.parent_path(), std::filesystem::temp_directory_path());
    EXPECT_EQ(compiled.extension(), ".mlmodelc");
    EXPECT_EQ(entriesIn(folder.path()), 1u);
    Model::load(compiled);
    EXPECT_EQ(kernel.loads().size(), 1u);
    std::filesystem::remove_all(compiled);
}

TEST(CompileModel, FailuresLeaveNothingBehind) {
    testsupport::TemporaryFolder folder;
    const auto broken = testsupport::writeModelBundle(folder.path(), "broken.mlpackage", {{"inputs", {}}});
    const auto compiled = testsupport::writeModelBundle(folder.path(), "ready.mlmodelc", {{"kernel", "k"}});
    struct Case {
        std::filesystem::path path;
        ModelError::Kind kind;
    };
    const Case cases[] = {
        {folder.path() / "missing.mlpackage", ModelError::Kind::bundleNotFound},
        {broken, ModelError::Kind::invalidBundle},
        {compiled, ModelError::Kind::compilationFailed},
    };
    for (const auto& testCase : cases) {
        try {
            compileModel(testCase.path);
            ADD_FAILURE() << "compiled " << testCase.path;
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), testCase.kind) << error.what();
        }
    }
    EXPECT_EQ(entriesIn(folder.path()), 2u);
}

} // namespace
