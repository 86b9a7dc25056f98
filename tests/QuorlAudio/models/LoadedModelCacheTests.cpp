#include "QuorlAudio/models/LoadedModelCache.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <latch>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::Model;
using platform::ml::ModelConfiguration;
using platform::ml::ModelError;

const ModelConfiguration configuration{.computeUnits = ComputeUnits::cpuAndNeuralEngine,
                                       .allowLowPrecisionAccumulationOnGPU = true,
                                       .functionName = std::nullopt};

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class LoadedModelCacheTest : public ::testing::Test {
protected:
    // A bundle with one function besides the main one; `outputs` only changes the size of "model.json".
    fs::path writeBundle(const fs::path& in, const std::string& name, std::size_t outputs = 0) const {
        std::vector<nlohmann::json> features;
        for (std::size_t index = 0; index < outputs; ++index) {
            features.push_back(testsupport::multiArrayFeature("out" + std::to_string(index), {1}));
        }
        auto manifest = testsupport::modelManifest(kernel.name(), {}, features);
        manifest["functions"]["prefill"] = {{"inputs", nlohmann::json::array()}, {"outputs", nlohmann::json::array()}};
        return testsupport::writeModelBundle(in, name, manifest);
    }

    std::size_t loadCount() const { return kernel.loads().size(); }

    testsupport::TemporaryFolder scratch;
    const fs::path folder = scratch.path() / "Models";
    testsupport::ScriptedKernel kernel{"loaded-model-cache"};
    LoadedModelCache cache;
};

TEST_F(LoadedModelCacheTest, SharesTheLiveModelOfAnUnchangedBundleHoweverItsPathIsSpelt) {
    const fs::path bundle = writeBundle(folder, "Encoder.mlmodelc");
    fs::create_directory_symlink(folder, scratch.path() / "alias");

    const auto first = cache.load(bundle, configuration);
    const auto again = cache.load(bundle, configuration);
    const auto throughLink = cache.load(scratch.path() / "alias" / "Encoder.mlmodelc", configuration);
    const auto dotted = cache.load(folder / "." / "Encoder.mlmodelc", configuration);

    EXPECT_EQ(again, first);
    EXPECT_EQ(throughLink, first);
    EXPECT_EQ(dotted, first);
    ASSERT_EQ(loadCount(), 1u);
    EXPECT_EQ(kernel.loads().front().bundlePath, bundle);
}

TEST_F(LoadedModelCacheTest, EveryConfigurationHasAModelOfItsOwn) {
    const fs::path bundle = writeBundle(folder, "Decoder.mlmodelc");
    const auto held = cache.load(bundle, configuration);
    struct Case {
        std::string name;
        ModelConfiguration configuration;
    };
    const std::vector<Case> cases = {
        {"compute units",
         {.computeUnits = ComputeUnits::cpuOnly,
          .allowLowPrecisionAccumulationOnGPU = true,
          .functionName = std::nullopt}},
        {"full-precision accumulation",
         {.computeUnits = ComputeUnits::cpuAndNeuralEngine,
          .allowLowPrecisionAccumulationOnGPU = false,
          .functionName = std::nullopt}},
        {"function",
         {.computeUnits = ComputeUnits::cpuAndNeuralEngine,
          .allowLowPrecisionAccumulationOnGPU = true,
          .functionName = "prefill"}},
    };
    for (const auto& [name, other] : cases) {
        const auto before = loadCount();

        const auto model = cache.load(bundle, other);

        EXPECT_NE(model, held) << name;
        EXPECT_EQ(loadCount(), before + 1) << name;
        EXPECT_EQ(kernel.loads().back().configuration.functionName, other.functionName) << name;
        EXPECT_EQ(cache.load(bundle, other), model) << name;
    }
    EXPECT_EQ(cache.load(bundle, configuration), held);
}

TEST_F(LoadedModelCacheTest, ABundleChangedOnDiskIsLoadedAfresh) {
    struct Case {
        std::string name;
        std::function<void(const fs::path& bundle)> change;
    };
    const std::vector<Case> cases = {
        {"model.json rewritten",
         [this](const fs::path& bundle) { writeBundle(bundle.parent_path(), bundle.filename().string(), 2); }},
        {"compiled data rewritten",
         [](const fs::path& bundle) { writeFile(bundle / "coremldata.bin", "another compiled model"); }},
        {"a weights file added", [](const fs::path& bundle) { writeFile(bundle / "weights.bin", "weights"); }},
        {"replaced by another bundle",
         [this](const fs::path& bundle) {
             fs::remove_all(bundle);
             writeBundle(bundle.parent_path(), bundle.filename().string(), 1);
         }},
    };
    for (const auto& [name, change] : cases) {
        const fs::path bundle = writeBundle(folder / name, "Encoder.mlmodelc");
        const auto held = cache.load(bundle, configuration);
        const auto before = loadCount();

        change(bundle);
        const auto fresh = cache.load(bundle, configuration);

        EXPECT_NE(fresh, held) << name;
        EXPECT_EQ(loadCount(), before + 1) << name;
        EXPECT_EQ(cache.load(bundle, configuration), fresh) << name;
    }
}

TEST_F(LoadedModelCacheTest, AModelIsFreedWithItsLastOwnerAndThenLoadedAgain) {
    const fs::path bundle = writeBundle(folder, "Joint.mlmodelc");
    auto model = cache.load(bundle, configuration);
    const std::weak_ptr<Model> watched = model;

    model.reset();

    EXPECT_TRUE(watched.expired());
    EXPECT_NE(cache.load(bundle, configuration), nullptr);
    EXPECT_EQ(loadCount(), 2u);
}

TEST_F(LoadedModelCacheTest, FailedLoadsArePassedOnUnchangedAndRememberNothing) {
    try {
        cache.load(folder / "Absent.mlmodelc", configuration);
        FAIL() << "expected the runtime's error";
    } catch (const ModelError& error) {
        EXPECT_EQ(error.kind(), ModelError::Kind::bundleNotFound);
    }
    const fs::path bundle = writeBundle(folder, "Refused.mlmodelc");
    kernel.failLoadsWith(std::make_exception_ptr(ModelError::invalidBundle(bundle.string(), "broken weights")));
    EXPECT_THROW(cache.load(bundle, configuration), ModelError);
    kernel.failLoadsWith(nullptr);

    const auto model = cache.load(bundle, configuration);

    EXPECT_NE(model, nullptr);
    EXPECT_EQ(cache.load(bundle, configuration), model);
    EXPECT_EQ(loadCount(), 2u);
}

TEST_F(LoadedModelCacheTest, ForgetsExactlyTheBundlesAtOrBelowAFolder) {
    const fs::path inside = writeBundle(folder / "vad", "A.mlmodelc");
    const fs::path beside = writeBundle(folder / "vad-extra", "A.mlmodelc");
    const auto heldInside = cache.load(inside, configuration);
    const auto heldBeside = cache.load(beside, configuration);

    cache.forgetModelsBelow((folder / "vad").string() + "/");

    EXPECT_NE(cache.load(inside, configuration), heldInside);
    EXPECT_EQ(cache.load(beside, configuration), heldBeside);
    EXPECT_EQ(loadCount(), 3u);

    const auto reloaded = cache.load(inside, configuration);
    cache.forgetModelsBelow(inside);
    EXPECT_NE(cache.load(inside, configuration), reloaded);
}

// A purge that happens while a model is being read: that model may come from the deleted files.
TEST_F(LoadedModelCacheTest, AModelLoadedWhileItsFolderIsForgottenIsNotRemembered) {
    class Silent : public platform::ml::Kernel {
    public:
        std::map<std::string, platform::ml::FeatureValue> predict(const platform::ml::FeatureProvider&,
                                                                  platform::ml::ModelState*,
                                                                  const platform::ml::PredictionOptions&) override {
            return {};
        }
    };
    bool purged = false;
    platform::ml::registerKernel("purged-while-loading", [&](const platform::ml::KernelContext&) {
        if (!purged) {
            purged = true;
            cache.forgetModelsBelow(folder);
        }
        return std::make_unique<Silent>();
    });
    const fs::path bundle = testsupport::writeModelBundle(folder, "Racing.mlmodelc",
                                                          testsupport::modelManifest("purged-while-loading", {}, {}));

    const auto duringPurge = cache.load(bundle, configuration);
    const auto afterPurge = cache.load(bundle, configuration);

    EXPECT_NE(afterPurge, duringPurge);
    EXPECT_EQ(cache.load(bundle, configuration), afterPurge);
}

TEST_F(LoadedModelCacheTest, DifferentBundlesLoadAtTheSameTime) {
    constexpr int loaders = 4;
    std::vector<fs::path> bundles;
    for (int index = 0; index < loaders; ++index) {
        bundles.push_back(writeBundle(folder / std::to_string(index), "Model.mlmodelc"));
    }
    std::latch start(loaders);
    std::vector<std::future<bool>> sameEveryTime;
    for (const auto& bundle : bundles) {
        sameEveryTime.push_back(std::async(std::launch::async, [&, bundle] {
            start.arrive_and_wait();
            const auto first = cache.load(bundle, configuration);
            bool same = true;
            for (int round = 0; round < 3; ++round) {
                same = same && cache.load(bundle, configuration) == first;
            }
            return same;
        }));
    }
    for (auto& result : sameEveryTime) {
        EXPECT_TRUE(result.get());
    }
    EXPECT_EQ(loadCount(), static_cast<std::size_t>(loaders));
}

} // namespace
} // namespace quorl
