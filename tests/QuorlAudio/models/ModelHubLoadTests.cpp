#include "ModelHubTest.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/FileError.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/net/UrlError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <latch>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::LoopbackHub;

// Whether `expected` appears in `lines` in this order, other lines allowed in between.
bool containsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    auto position = lines.begin();
    for (const auto& line : expected) {
        position = std::find(position, lines.end(), line);
        if (position == lines.end()) {
            return false;
        }
        ++position;
    }
    return true;
}

// The voice-activity repository: one required bundle, no sub-folder.
class ModelHubLoadTest : public testing::ModelHubTest {
protected:
    static constexpr Repo repository = Repo::vad;

    ModelHub::LoadedModels load(const std::vector<std::string>& names, ComputeUnits units = ComputeUnits::cpuAndGPU) {
        return modelHub.loadModels(
            {.repo = repository, .modelNames = names, .directory = modelsRoot(), .computeUnits = units},
            recordProgress());
    }

    void putRequiredBundle(bool withCompiledData = true,
                           const std::vector<std::pair<std::string, std::string>>& extraFiles = {}) {
        putBundle(repository, bundle, kernel.name(), withCompiledData, extraFiles);
    }

    // The required bundle in the cache with its "model.json" but without "coremldata.bin".
    void cacheCorruptedBundle() {
        cacheBundle(cacheFolder, bundle, kernel.name());
        fs::remove(cacheFolder / bundle / "coremldata.bin");
    }

    std::size_t requestsFor(const std::string& path) const {
        return hub.requestsFor(LoopbackHub::filePath(remotePath(repository), path)).size();
    }

    std::size_t linesCalled(const std::string& text) const {
        return static_cast<std::size_t>(std::ranges::count(lines(), text));
    }

    const std::string bundle = *ModelNames::getRequiredModelNames(repository).begin();
    const std::string folderText = folderName(repository);
    const fs::path cacheFolder = modelsRoot() / folderText;
    testsupport::ScriptedKernel kernel{"hub-load"};
};

using ModelHubLoadDeathTest = ModelHubLoadTest;

// The line is written once per process, so the case runs in a child process of its own.
TEST_F(ModelHubLoadDeathTest, DescribesTheHostOnceForTheFirstLoadOfTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    cacheBundle(cacheFolder, bundle, kernel.name());
    EXPECT_EXIT(
        {
            load({bundle});
            load({bundle});
            const auto logged = testing::logLines(sink);
            const auto hostLines = std::ranges::count_if(
                logged, [](const std::string& line) { return line.starts_with("Host environment: "); });
            std::exit(hostLines == 1 && logged.front().starts_with("Host environment: ") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ModelHubLoadTest, DownloadsChecksAndLoadsEachBundleWithTheRequestedComputeUnits) {
    ASSERT_EQ(ModelNames::getRequiredModelNames(repository).size(), 1u);
    putRequiredBundle();
    putBundle(repository, "Extra.mlmodelc", kernel.name());

    const auto models = load({bundle, "Extra.mlmodelc"});

    EXPECT_EQ(models.size(), 2u);
    EXPECT_TRUE(models.contains(bundle) && models.contains("Extra.mlmodelc"));
    const auto loads = kernel.loads();
    ASSERT_EQ(loads.size(), 2u);
    // Application Support / "QuorlAudio" / "Models" / the repository's folder name.
    EXPECT_EQ(cacheFolder, folder / "data" / "QuorlAudio" / "Models" / "silero-vad");
    EXPECT_EQ(loads[0].bundlePath, cacheFolder / bundle);
    EXPECT_EQ(loads[1].bundlePath, cacheFolder / "Extra.mlmodelc");
    for (const auto& loaded : loads) {
        EXPECT_EQ(loaded.configuration.computeUnits, ComputeUnits::cpuAndGPU);
        EXPECT_TRUE(loaded.configuration.allowLowPrecisionAccumulationOnGPU);
    }
    const auto progress = reports();
    ASSERT_GE(progress.size(), 5u);
    EXPECT_EQ(progress.front(), (DownloadProgress{.fractionCompleted = 0, .phase = DownloadPhase::listing()}));
    EXPECT_EQ(std::vector(progress.end() - 4, progress.end()),
              (std::vector<DownloadProgress>{
                  {.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(4, 4)},
                  {.fractionCompleted = 0.5, .phase = DownloadPhase::compiling(bundle)},
                  {.fractionCompleted = 0.75, .phase = DownloadPhase::compiling("Extra.mlmodelc")},
                  {.fractionCompleted = 1.0, .phase = DownloadPhase::compiling("")},
              }));
    EXPECT_TRUE(std::ranges::is_sorted(progress, {}, &DownloadProgress::fractionCompleted));
    const auto logged = lines();
    EXPECT_TRUE(containsInOrder(logged, {"Models not found in cache at " + cacheFolder.string(),
                                         "Downloading " + folderText + " from HuggingFace...",
                                         "Downloaded all required models for " + folderText}));
    EXPECT_EQ(std::ranges::count_if(logged,
                                    [&](const std::string& line) {
                                        return line.starts_with("Compiled model " + bundle + " in ") &&
                                               line.find(" ms :: ") != std::string::npos;
                                    }),
              1);
}

TEST_F(ModelHubLoadTest, ServesACompleteCacheWithoutTheNetworkOnlineAndOffline) {
    cacheBundle(cacheFolder, bundle, kernel.name());
    // Leftovers that no wanted file waits for: another bundle's interrupted transfer, and a partial file
    // beside a file that is already in place.
    writeFile(cacheFolder / "Other.mlmodelc" / "weights.bin.partial", "other");
    writeFile(cacheFolder / bundle / "model.json.partial", "stale");
    for (const bool offline : {false, true}) {
        modelHub.setOfflineMode(offline);
        const auto reportsBefore = reports().size();

        EXPECT_EQ(load({bundle}, ComputeUnits::cpuOnly).size(), 1u) << offline;

        const auto progress = reports();
        EXPECT_EQ(std::vector(progress.begin() + static_cast<std::ptrdiff_t>(reportsBefore), progress.end()),
                  (std::vector<DownloadProgress>{
                      {.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(0, 0)},
                      {.fractionCompleted = 0.5, .phase = DownloadPhase::compiling(bundle)},
                      {.fractionCompleted = 1.0, .phase = DownloadPhase::compiling("")},
                  }))
            << offline;
    }
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(linesCalled("Found " + folderText + " locally, no download needed"), 2u);
    EXPECT_EQ(kernel.loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
}

TEST_F(ModelHubLoadTest, PurgesOnlyTheCorruptedBundleAndDownloadsItOnce) {
    cacheCorruptedBundle();
    cacheBundle(cacheFolder, "Extra.mlmodelc", kernel.name());
    writeFile(cacheFolder / "stale.txt", "left over");
    putRequiredBundle();
    putBundle(repository, "Extra.mlmodelc", kernel.name());

    EXPECT_EQ(load({"Extra.mlmodelc", bundle}).size(), 2u);

    EXPECT_TRUE(
        containsInOrder(lines(), {
                                     "Found " + folderText + " locally, no download needed",
                                     "Missing coremldata.bin in " + bundle,
                                     "First load failed: Missing coremldata.bin in model: " + bundle,
                                     "Deleting cache and re-downloading\u2026",
                                     "Successfully deleted corrupted cache at " + (cacheFolder / bundle).string(),
                                     "Models not found in cache at " + cacheFolder.string(),
                                 }));
    // The undamaged bundle and the other files are kept, and nothing of them is fetched again.
    EXPECT_TRUE(fs::exists(cacheFolder / "stale.txt"));
    EXPECT_EQ(requestsFor("Extra.mlmodelc/coremldata.bin"), 0u);
    EXPECT_EQ(requestsFor("Extra.mlmodelc/model.json"), 0u);
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
    // Extra, then Extra again and the fresh bundle in the second attempt.
    EXPECT_EQ(kernel.loads().size(), 3u);
    // The second attempt reports from the start again.
    const auto progress = reports();
    EXPECT_EQ(progress.front(),
              (DownloadProgress{.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(0, 0)}));
    EXPECT_EQ(progress[2], (DownloadProgress{.fractionCompleted = 0, .phase = DownloadPhase::listing()}));
}

TEST_F(ModelHubLoadTest, ABundleWhoseFilesWereNotAllFetchedIsCompletedByTheNextLoad) {
    const std::string weights = testsupport::letterPattern(200000);
    putRequiredBundle(true, {{"weights/weight.bin", weights}});
    const std::string weightPath = bundle + "/weights/weight.bin";
    hub.failPath(LoopbackHub::filePath(remotePath(repository), weightPath), LoopbackHub::Fault::answer(500), 4);

    EXPECT_THROW(load({bundle}), DownloadError);
    ASSERT_TRUE(fs::exists(cacheFolder / bundle / "coremldata.bin"));
    ASSERT_FALSE(fs::exists(cacheFolder / weightPath));

    EXPECT_EQ(load({bundle}).size(), 1u);

    EXPECT_EQ(fileContents(cacheFolder / weightPath), weights);
    EXPECT_EQ(requestsFor(weightPath), 5u);
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
    EXPECT_EQ(linesCalled("Models not found in cache at " + cacheFolder.string()), 2u);
}

TEST_F(ModelHubLoadTest, ACachedFileOfAnotherSizeThanListedIsMissingOfflineAndFetchedAgainOnline) {
    const std::string weights = testsupport::letterPattern(200000);
    putRequiredBundle(true, {{"weights/weight.bin", weights}});
    const std::string weightPath = bundle + "/weights/weight.bin";
    ASSERT_EQ(load({bundle}).size(), 1u);
    fs::resize_file(cacheFolder / weightPath, 1000);

    modelHub.setOfflineMode(true);
    const std::string offlineError = errorText([this] { load({bundle}); });
    modelHub.setOfflineMode(false);
    EXPECT_EQ(offlineError, "QuorlAudio offline mode: required models missing for " + folderText + ": " + bundle);

    EXPECT_EQ(load({bundle}).size(), 1u);
    EXPECT_EQ(fileContents(cacheFolder / weightPath), weights);
    EXPECT_EQ(requestsFor(weightPath), 2u);
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
}

// A load stopped in the middle of a file leaves the cache as a killed process would (cancellation cleans
// nothing up): finished files, the partial file and its validator. The next load fetches none of the
// finished files and none of the bytes the partial file holds.
TEST_F(ModelHubLoadTest, ALoadStoppedMidFileIsContinuedByTheNextWithoutFetchingAnyByteTwice) {
    const std::string weights = testsupport::letterPattern(300000);
    putRequiredBundle(true, {{"weights/weight.bin", weights}});
    const std::string weightPath = bundle + "/weights/weight.bin";
    const fs::path partial = cacheFolder / (weightPath + ".partial");
    hub.failPath(LoopbackHub::filePath(remotePath(repository), weightPath), LoopbackHub::Fault::stallAfter(100000));

    platform::core::CancellationSource source;
    std::promise<void> halfWay;
    std::once_flag once;
    const ProgressHandler progress = [&](const DownloadProgress&) {
        std::error_code unreadable;
        if (fs::file_size(partial, unreadable) == 100000) {
            std::call_once(once, [&] { halfWay.set_value(); });
        }
    };
    auto stopped = std::async(std::launch::async, [&] {
        const platform::core::Task::Scope scope(source.token());
        modelHub.loadModels({.repo = repository,
                             .modelNames = {bundle},
                             .directory = modelsRoot(),
                             .computeUnits = ComputeUnits::cpuAndGPU},
                            progress);
    });
    ASSERT_EQ(halfWay.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    source.cancel();
    EXPECT_THROW(stopped.get(), platform::net::UrlError);
    ASSERT_EQ(fs::file_size(partial), 100000u);
    ASSERT_TRUE(fs::exists(cacheFolder / (weightPath + ".partial.etag")));

    EXPECT_EQ(load({bundle}).size(), 1u);

    EXPECT_EQ(fileContents(cacheFolder / weightPath), weights);
    const auto weightRequests = hub.requestsFor(LoopbackHub::filePath(remotePath(repository), weightPath));
    ASSERT_EQ(weightRequests.size(), 2u);
    EXPECT_EQ(weightRequests[1].header("Range"), "bytes=100000-");
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
    EXPECT_EQ(requestsFor(bundle + "/model.json"), 1u);
}

TEST_F(ModelHubLoadTest, ReportsASecondCorruptionInsteadOfTryingAgain) {
    putRequiredBundle(false);

    EXPECT_EQ(errorText([this] { load({bundle}); }), "Missing coremldata.bin in model: " + bundle);

    EXPECT_EQ(requestsFor(bundle + "/model.json"), 2u);
    EXPECT_EQ(linesCalled("First load failed: Missing coremldata.bin in model: " + bundle), 1u);
    EXPECT_TRUE(kernel.loads().empty());
}

TEST_F(ModelHubLoadTest, AFileInPlaceOfTheRepositoryFolderIsReplaced) {
    writeFile(cacheFolder, "stray");
    putRequiredBundle();

    EXPECT_EQ(load({bundle}).size(), 1u);

    EXPECT_EQ(linesCalled("Removing file blocking directory creation: " + cacheFolder.string()), 1u);
}

TEST_F(ModelHubLoadTest, ABundleTheRuntimeRefusesIsDownloadedAgainOnce) {
    cacheBundle(cacheFolder, bundle, kernel.name());
    putRequiredBundle();
    kernel.failLoadsWith(std::make_exception_ptr(platform::ml::ModelError::invalidBundle(bundle, "broken weights")));

    try {
        load({bundle});
        FAIL() << "expected the runtime's refusal";
    } catch (const platform::ml::ModelError& error) {
        EXPECT_EQ(error.kind(), platform::ml::ModelError::Kind::invalidBundle);
    }

    EXPECT_EQ(kernel.loads().size(), 2u);
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
}

TEST_F(ModelHubLoadTest, ANetworkOutageKeepsGoodFilesAndThePartialFileForTheNextLoad) {
    const std::string weights(100000, 'w');
    putRequiredBundle(true, {{"weights.bin", weights}});
    const std::string weightsPath = LoopbackHub::filePath(remotePath(repository), bundle + "/weights.bin");
    hub.failPath(weightsPath, LoopbackHub::Fault::dropAfter(10000), 4);

    try {
        load({bundle});
        FAIL() << "expected the lost connection";
    } catch (const platform::net::UrlError& error) {
        EXPECT_EQ(error.urlCode(), platform::net::UrlError::Code::networkConnectionLost);
    }
    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "coremldata.bin"));
    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "model.json"));
    EXPECT_EQ(fs::file_size(cacheFolder / bundle / "weights.bin.partial"), 40000u);
    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "weights.bin.partial.etag"));
    EXPECT_EQ(sleeper.waits(), (std::vector<double>{1, 2, 4}));
    EXPECT_EQ(linesCalled("Deleting cache and re-downloading\u2026"), 0u);

    EXPECT_EQ(load({bundle}).size(), 1u);

    EXPECT_EQ(fileContents(cacheFolder / bundle / "weights.bin"), weights);
    const auto weightsRequests = hub.requestsFor(weightsPath);
    ASSERT_EQ(weightsRequests.size(), 5u);
    EXPECT_EQ(weightsRequests.back().header("Range"), "bytes=40000-");
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
    EXPECT_EQ(kernel.loads().size(), 1u);
}

TEST_F(ModelHubLoadTest, ARateLimitKeepsTheFilesAlreadyInTheCache) {
    putRequiredBundle();
    hub.failPath(LoopbackHub::filePath(remotePath(repository), bundle + "/model.json"),
                 LoopbackHub::Fault::answer(429, "slow down"), 4);

    EXPECT_EQ(errorText([this] { load({bundle}); }),
              "Hugging Face rate limit encountered: Rate limited while downloading " + bundle +
                  "/model.json (HTTP 429)");

    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "coremldata.bin"));
    EXPECT_EQ(linesCalled("Deleting cache and re-downloading\u2026"), 0u);
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
}

TEST_F(ModelHubLoadTest, ACancelledLoadKeepsTheCacheAndItsPartialFile) {
    putRequiredBundle(true, {{"weights.bin", std::string(100000, 'w')}});
    hub.failPath(LoopbackHub::filePath(remotePath(repository), bundle + "/weights.bin"),
                 LoopbackHub::Fault::stallAfter(1000));
    const fs::path partial = cacheFolder / bundle / "weights.bin.partial";
    platform::core::CancellationSource source;
    const platform::core::Task::Scope scope(source.token());

    try {
        modelHub.loadModels(
            {.repo = repository, .modelNames = {bundle}, .directory = modelsRoot(), .computeUnits = ComputeUnits::all},
            [&](const DownloadProgress&) {
                // Once the weights are under way, and the hub holds the rest back.
                std::error_code absent;
                if (fs::file_size(partial, absent) > 0 && !absent) {
                    source.cancel();
                }
            });
        FAIL() << "expected the cancellation";
    } catch (...) {
        EXPECT_TRUE(RetryPolicy::isCancellation(std::current_exception()));
    }

    EXPECT_GT(fs::file_size(partial), 0u);
    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "coremldata.bin"));
    const auto logged = lines();
    EXPECT_EQ(std::ranges::count_if(
                  logged,
                  [](const std::string& line) { return line.starts_with("Load cancelled; preserving model cache. "); }),
              1);
    EXPECT_EQ(linesCalled("Deleting cache and re-downloading\u2026"), 0u);
}

TEST_F(ModelHubLoadTest, OfflineMissingModelsAreNamedAndNothingIsFetched) {
    modelHub.setOfflineMode(true);
    const std::string description =
        "QuorlAudio offline mode: required models missing for " + folderText + ": Extra.mlmodelc, " + bundle;

    EXPECT_EQ(errorText([this] { load({"Extra.mlmodelc"}); }), description);

    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Offline mode: required models missing at " + cacheFolder.string() +
                               ": [\"Extra.mlmodelc\", \"" + bundle + "\"]",
                           "Offline mode: load failed and re-download blocked. " + description,
                       }));
}

TEST_F(ModelHubLoadTest, OfflineACorruptedCacheIsReportedAndKept) {
    cacheCorruptedBundle();
    modelHub.setOfflineMode(true);

    EXPECT_THROW(load({bundle}), FileError);

    EXPECT_TRUE(fs::exists(cacheFolder / bundle / "model.json"));
    EXPECT_EQ(
        linesCalled("Offline mode: load failed and re-download blocked. Missing coremldata.bin in model: " + bundle),
        1u);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(ModelHubLoadTest, SimultaneousLoadsOfOneRepositoryRepairItOnceAndAllSucceed) {
    cacheCorruptedBundle();
    putRequiredBundle();
    constexpr int loaders = 4;
    std::latch start(loaders);
    std::vector<std::future<std::size_t>> results;
    for (int index = 0; index < loaders; ++index) {
        results.push_back(std::async(std::launch::async, [&] {
            start.arrive_and_wait();
            return modelHub
                .loadModels({.repo = repository,
                             .modelNames = {bundle},
                             .directory = modelsRoot(),
                             .computeUnits = ComputeUnits::all})
                .size();
        }));
    }
    for (auto& result : results) {
        EXPECT_EQ(result.get(), 1u);
    }
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 1u);
    EXPECT_EQ(linesCalled("Deleting cache and re-downloading\u2026"), 1u);
}

TEST_F(ModelHubLoadTest, ALoadOfBundlesStillInUseSharesThemUnlessTheComputeUnitsDiffer) {
    cacheBundle(cacheFolder, bundle, kernel.name());
    cacheBundle(cacheFolder, "Extra.mlmodelc", kernel.name());
    const auto first = load({bundle, "Extra.mlmodelc"});

    const auto second = load({bundle, "Extra.mlmodelc"});

    EXPECT_EQ(second, first);
    EXPECT_EQ(kernel.loads().size(), 2u);
    EXPECT_EQ(linesCalled("Found " + folderText + " locally, no download needed"), 2u);

    const auto onTheCpu = load({bundle}, ComputeUnits::cpuOnly);

    EXPECT_NE(onTheCpu.at(bundle), first.at(bundle));
    ASSERT_EQ(kernel.loads().size(), 3u);
    EXPECT_EQ(kernel.loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
}

TEST_F(ModelHubLoadTest, ThePurgeAndRetryKeepsAnUndamagedBundleAndItsLiveModel) {
    cacheBundle(cacheFolder, bundle, kernel.name());
    const auto inUse = load({bundle});
    putRequiredBundle();
    putBundle(repository, "Extra.mlmodelc", kernel.name());
    cacheBundle(cacheFolder, "Extra.mlmodelc", kernel.name());
    fs::remove(cacheFolder / "Extra.mlmodelc" / "coremldata.bin");

    const auto retried = load({bundle, "Extra.mlmodelc"});

    EXPECT_EQ(linesCalled("First load failed: Missing coremldata.bin in model: Extra.mlmodelc"), 1u);
    EXPECT_EQ(retried.at(bundle), inUse.at(bundle));
    ASSERT_EQ(kernel.loads().size(), 2u);
    EXPECT_EQ(kernel.loads()[1].bundlePath, cacheFolder / "Extra.mlmodelc");
    EXPECT_EQ(requestsFor(bundle + "/coremldata.bin"), 0u);
}

TEST_F(ModelHubLoadTest, ClearingTheCachesForgetsTheModelsLoadedFromThem) {
    const std::vector<std::pair<std::string, std::function<void()>>> clearings = {
        {"one repository", [] { ModelHub::clearCache(repository, modelsRoot()); }},
        {"every cache", [] { ModelHub::clearAllCaches(); }},
    };
    for (const auto& [name, clear] : clearings) {
        cacheBundle(cacheFolder, bundle, kernel.name());
        const auto inUse = load({bundle});

        clear();
        cacheBundle(cacheFolder, bundle, kernel.name());

        EXPECT_NE(load({bundle}).at(bundle), inUse.at(bundle)) << name;
    }
    EXPECT_EQ(kernel.loads().size(), 4u);
}

TEST_F(ModelHubLoadTest, ClearsOneRepositoryOrEveryCacheIgnoringWhatIsAbsent) {
    cacheBundle(cacheFolder, bundle, kernel.name());
    ModelHub::clearCache(repository, modelsRoot());
    ModelHub::clearCache(repository, modelsRoot());
    EXPECT_FALSE(fs::exists(cacheFolder));

    writeFile(modelsRoot() / "other" / "file", "x");
    writeFile(folder / "home" / ".cache" / "quorlaudio" / "voice.bin", "x");
    ModelHub::clearAllCaches();
    ModelHub::clearAllCaches();

    EXPECT_FALSE(fs::exists(modelsRoot()));
    EXPECT_FALSE(fs::exists(folder / "home" / ".cache" / "quorlaudio"));
    EXPECT_TRUE(fs::exists(folder / "data" / "QuorlAudio"));
    EXPECT_EQ(linesCalled("All model caches cleared"), 2u);
}

} // namespace
} // namespace quorl
