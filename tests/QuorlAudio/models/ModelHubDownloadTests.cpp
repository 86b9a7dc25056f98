#include "ModelHubTest.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorl {
namespace {

// Single-file fetches: four attempts, back-offs from one second.
constexpr int fileAttempts = 4;
constexpr double fileMinBackoff = 1.0;

namespace fs = std::filesystem;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::LoopbackHub;

bool isDownloading(const DownloadProgress& report, int completed, int total) {
    return report.phase == DownloadPhase::downloading(completed, total);
}

class ModelHubDownloadTest : public testing::ModelHubTest {
protected:
    // The catalogue asks for exactly the variant's name in this repository.
    static constexpr Repo plain = Repo::sortformer;

    const std::string plainRemote = remotePath(plain);
    const fs::path plainFolder = modelsRoot() / folderName(plain);

    void downloadPlain(const std::string& variant, const std::set<std::string>& additional = {}) {
        modelHub.download({.repo = plain, .to = modelsRoot(), .variant = variant, .additionalModelNames = additional},
                          recordProgress());
    }

    std::size_t treeRequests(const std::string& remote, const std::string& folder = {}) const {
        return hub.requestsFor(LoopbackHub::treePath(remote, folder)).size();
    }

    std::size_t fileRequests() const {
        const auto requests = hub.requests();
        return static_cast<std::size_t>(std::ranges::count_if(
            requests, [](const auto& request) { return request.path.find("/resolve/main/") != std::string::npos; }));
    }
};

TEST_F(ModelHubDownloadTest, TakesTheWantedBundleAndTheTextFilesOnTheWayToIt) {
    putBundle(plain, "Encoder.mlmodelc", "k", true, {{"weights/weight.bin", std::string(5000, 'w')}});
    putBundle(plain, "Other.mlmodelc", "k");
    hub.putFile(plainRemote, "parakeet_vocab.json", "{\"0\":\"a\"}");
    hub.putFile(plainRemote, "vocab.txt", "a\nb\n");
    hub.putFile(plainRemote, "README.md", "# read me");
    hub.putFile(plainRemote, "unrelated/config.json", "{}");

    downloadPlain("Encoder.mlmodelc");

    for (const auto* path : {"Encoder.mlmodelc/coremldata.bin", "Encoder.mlmodelc/model.json",
                             "Encoder.mlmodelc/weights/weight.bin", "parakeet_vocab.json", "vocab.txt"}) {
        EXPECT_TRUE(fs::is_regular_file(plainFolder / path)) << path;
    }
    EXPECT_EQ(fileContents(plainFolder / "Encoder.mlmodelc" / "weights" / "weight.bin"), std::string(5000, 'w'));
    EXPECT_FALSE(fs::exists(plainFolder / "README.md"));
    EXPECT_FALSE(fs::exists(plainFolder / "Other.mlmodelc"));
    EXPECT_EQ(treeRequests(plainRemote, "Other.mlmodelc"), 0u);
    EXPECT_EQ(treeRequests(plainRemote, "unrelated"), 0u);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"Downloading sortformer from HuggingFace...", "Found 5 files to download",
                                        "Downloaded 5/5 files", "Downloaded all required models for sortformer"}));
    const auto progress = reports();
    ASSERT_GE(progress.size(), 6u);
    EXPECT_EQ(progress.front(), (DownloadProgress{.fractionCompleted = 0, .phase = DownloadPhase::listing()}));
    EXPECT_EQ(progress.back(), (DownloadProgress{.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(5, 5)}));
    EXPECT_TRUE(std::ranges::is_sorted(progress, {}, &DownloadProgress::fractionCompleted));
}

TEST_F(ModelHubDownloadTest, FindsAPlainFileAtTheRootOfASubFolderRepository) {
    constexpr Repo repository = Repo::parakeetEou160;
    const std::string remote = remotePath(repository);
    const std::string subFolder = *subPath(repository);
    const auto wanted = ModelNames::getRequiredModelNames(repository);
    for (const auto& name : wanted) {
        if (name.ends_with(".mlmodelc")) {
            putBundle(repository, subFolder + "/" + name, "k");
        } else {
            hub.putFile(remote, name, "root copy of " + name);
        }
    }
    hub.putFile(remote, subFolder + "/config.json", "{}");
    hub.putFile(remote, subFolder + "/notes.md", "notes");
    hub.putFile(remote, "other/decoder.mlmodelc/coremldata.bin", "other");

    modelHub.download({.repo = repository, .to = modelsRoot()});

    const fs::path local = modelsRoot() / folderName(repository);
    for (const auto& name : wanted) {
        EXPECT_TRUE(fs::exists(local / name)) << name;
    }
    EXPECT_TRUE(fs::is_regular_file(local / "config.json"));
    EXPECT_FALSE(fs::exists(local / "notes.md"));
    EXPECT_EQ(treeRequests(remote), 1u);
    EXPECT_EQ(treeRequests(remote, "other"), 0u);
}

TEST_F(ModelHubDownloadTest, NamesTheFirstMissingBundleWithoutLookingForItAtTheRoot) {
    constexpr Repo repository = Repo::parakeetEou160;
    const std::string subFolder = *subPath(repository);
    for (const auto& name : ModelNames::getRequiredModelNames(repository)) {
        if (!name.ends_with(".mlmodelc")) {
            hub.putFile(remotePath(repository), subFolder + "/" + name, "{}");
        } else if (name != "decoder.mlmodelc") {
            putBundle(repository, subFolder + "/" + name, "k");
        }
    }

    const auto download = [&] { modelHub.download({.repo = repository, .to = modelsRoot()}); };
    EXPECT_EQ(errorText(download), "Model file not found: decoder.mlmodelc");

    EXPECT_EQ(treeRequests(remotePath(repository)), 0u);
}

TEST_F(ModelHubDownloadTest, ReportsTheAlphabeticallyFirstMissingName) {
    putBundle(plain, "Encoder.mlmodelc", "k");
    EXPECT_EQ(errorText([this] {
                  downloadPlain("Encoder.mlmodelc", {"Zeta.mlmodelc", "Alpha.mlmodelc"});
              }),
              "Model file not found: Alpha.mlmodelc");
    EXPECT_TRUE(fs::exists(plainFolder / "Encoder.mlmodelc" / "coremldata.bin"));
}

TEST_F(ModelHubDownloadTest, ARepeatedDownloadListsAgainButTransfersAndReportsNothingMore) {
    putBundle(plain, "Encoder.mlmodelc", "k");
    downloadPlain("Encoder.mlmodelc");
    const auto transfers = fileRequests();
    const auto reportsBefore = reports().size();
    const auto linesBefore = lines().size();

    downloadPlain("Encoder.mlmodelc");

    EXPECT_EQ(fileRequests(), transfers);
    const auto progress = reports();
    EXPECT_EQ(std::vector(progress.begin() + static_cast<std::ptrdiff_t>(reportsBefore), progress.end()),
              (std::vector<DownloadProgress>{{.fractionCompleted = 0, .phase = DownloadPhase::listing()}}));
    const auto logged = lines();
    EXPECT_EQ(std::vector(logged.begin() + static_cast<std::ptrdiff_t>(linesBefore), logged.end()),
              (std::vector<std::string>{"Downloading sortformer from HuggingFace...", "Found 2 files to download",
                                        "Downloaded all required models for sortformer"}));
}

TEST_F(ModelHubDownloadTest, LogsEveryTenthDownloadedFileAndEndsHalfWay) {
    std::vector<std::pair<std::string, std::string>> parts;
    for (int index = 0; index < 23; ++index) {
        parts.emplace_back("part" + std::to_string(100 + index) + ".bin", std::string(100 + index, 'p'));
    }
    putBundle(plain, "Big.mlmodelc", "k", true, parts);

    downloadPlain("Big.mlmodelc");

    std::vector<std::string> periodic;
    std::ranges::copy_if(lines(), std::back_inserter(periodic),
                         [](const std::string& line) { return line.ends_with("/25 files"); });
    EXPECT_EQ(periodic,
              (std::vector<std::string>{"Downloaded 10/25 files", "Downloaded 20/25 files", "Downloaded 25/25 files"}));
    const auto progress = reports();
    EXPECT_EQ(std::ranges::count_if(progress, [](const auto& report) { return isDownloading(report, 25, 25); }), 1);
    EXPECT_EQ(progress.back(),
              (DownloadProgress{.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(25, 25)}));
}

TEST_F(ModelHubDownloadTest, CountsFilesWhenTheListingGivesNoSizes) {
    putBundle(plain, "X.mlmodelc", "k");
    hub.putFile(plainRemote, "a.json", "{}");
    hub.failPath(LoopbackHub::treePath(plainRemote),
                 LoopbackHub::Fault::answer(200, R"([{"type":"file","path":"a.json"},
                                                     {"type":"directory","path":"X.mlmodelc"}])"));
    hub.failPath(LoopbackHub::treePath(plainRemote, "X.mlmodelc"),
                 LoopbackHub::Fault::answer(200, R"([{"type":"file","path":"X.mlmodelc/coremldata.bin","size":"8"},
                                                     {"type":"file","path":"X.mlmodelc/model.json","size":1.5}])"));

    downloadPlain("X.mlmodelc");

    EXPECT_EQ(reports(), (std::vector<DownloadProgress>{
                             {.fractionCompleted = 0, .phase = DownloadPhase::listing()},
                             {.fractionCompleted = 0.5 * (1.0 / 3), .phase = DownloadPhase::downloading(1, 3)},
                             {.fractionCompleted = 0.5 * (2.0 / 3), .phase = DownloadPhase::downloading(2, 3)},
                             {.fractionCompleted = 0.5, .phase = DownloadPhase::downloading(3, 3)},
                         }));
    EXPECT_TRUE(fs::exists(plainFolder / "X.mlmodelc" / "model.json"));
}

struct UnsafePathCase {
    std::string path;
    std::string reason;
};

const std::vector<UnsafePathCase> unsafePaths = {
    {"../escape.json", "unsafe path: \"..\" segment"},
    {"/tmp/escape.json", "unsafe path: absolute"},
    {"a\\..\\..\\escape.json", "unsafe path: backslash"},
    {std::string("a\0/escape.json", 14), "unsafe path: NUL character"},
};

std::string listingOf(const std::string& path) {
    return nlohmann::json::array({{{"type", "file"}, {"path", path}, {"size", 2}}}).dump();
}

TEST_F(ModelHubDownloadTest, RefusesListedPathsThatWouldLandOutsideTheCache) {
    for (const auto& [path, reason] : unsafePaths) {
        hub.failPath(LoopbackHub::treePath(plainRemote), LoopbackHub::Fault::answer(200, listingOf(path)));
        try {
            downloadPlain("X.mlmodelc");
            ADD_FAILURE() << reason << ": accepted";
        } catch (const DownloadError& error) {
            EXPECT_EQ(error.kind(), DownloadError::Kind::invalidArtifact) << reason;
            EXPECT_EQ(error.path(), path) << reason;
            EXPECT_EQ(error.reason(), reason);
        }
    }
    EXPECT_EQ(fileRequests(), 0u);
    EXPECT_FALSE(fs::exists(modelsRoot() / "escape.json"));
}

TEST_F(ModelHubDownloadTest, RefusesUnsafePathsInASubFolderToo) {
    hub.failPath(LoopbackHub::treePath(plainRemote, "voices"),
                 LoopbackHub::Fault::answer(200, listingOf("voices/../../escape.bin")));
    EXPECT_EQ(errorText([this] { modelHub.download(plain, "voices", folder / "cache"); }),
              "Downloaded artifact for voices/../../escape.bin is invalid (unsafe path: \"..\" segment); refusing "
              "to cache it.");
    EXPECT_EQ(fileRequests(), 0u);
}

TEST_F(ModelHubDownloadTest, DownloadsASubFolderUnderItsFullPathsLeavingSkippedFoldersUnlisted) {
    hub.putFile(plainRemote, "voices/a.bin", std::string(1000, 'a'));
    hub.putFile(plainRemote, "voices/deep/b.bin", std::string(3000, 'b'));
    hub.putFile(plainRemote, "voices/skip/c.bin", "c");
    const fs::path target = folder / "voices-cache";
    const auto skip = [](const std::string& path) { return path == "voices/skip"; };

    modelHub.download(plain, "voices", target, recordProgress(), skip);

    EXPECT_EQ(fileContents(target / "voices" / "a.bin"), std::string(1000, 'a'));
    EXPECT_EQ(fileContents(target / "voices" / "deep" / "b.bin"), std::string(3000, 'b'));
    EXPECT_FALSE(fs::exists(target / "voices" / "skip"));
    EXPECT_EQ(treeRequests(plainRemote, "voices/skip"), 0u);
    const auto progress = reports();
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress[0], (DownloadProgress{.fractionCompleted = 0, .phase = DownloadPhase::listing()}));
    EXPECT_EQ(progress[1], (DownloadProgress{.fractionCompleted = 0, .phase = DownloadPhase::downloading(0, 2)}));
    EXPECT_NE(std::ranges::find(progress,
                                DownloadProgress{.fractionCompleted = 0.25, .phase = DownloadPhase::downloading(1, 2)}),
              progress.end());
    EXPECT_EQ(progress.back(), (DownloadProgress{.fractionCompleted = 1.0, .phase = DownloadPhase::downloading(2, 2)}));
    EXPECT_EQ(lines(), (std::vector<std::string>{"Found 2 files in voices", "Downloaded 2/2 voices files",
                                                 "Downloaded voices from sortformer"}));
}

TEST_F(ModelHubDownloadTest, AnEmptySubFolderIsCompleteAtOnce) {
    hub.failPath(LoopbackHub::treePath(plainRemote, "voices"), LoopbackHub::Fault::answer(200, "[]"));

    modelHub.download(plain, "voices", folder / "voices-cache", recordProgress());

    EXPECT_EQ(reports(), (std::vector<DownloadProgress>{
                             {.fractionCompleted = 0, .phase = DownloadPhase::listing()},
                             {.fractionCompleted = 1.0, .phase = DownloadPhase::downloading(0, 0)},
                         }));
    EXPECT_EQ(lines(), (std::vector<std::string>{"Found 0 files in voices", "Downloaded voices from sortformer"}));
}

TEST_F(ModelHubDownloadTest, EveryNetworkOperationRefusesOfflineBeforeTouchingTheNetwork) {
    modelHub.setOfflineMode(true);
    ASSERT_TRUE(modelHub.offlineMode());
    const auto url = ModelRegistry::resolveModel(plainRemote, "vocab.json");
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[this] { downloadPlain("X.mlmodelc"); }, "download(sortformer)"},
        {[this] { modelHub.download(plain, "voices", folder); }, "download(sortformer/voices)"},
        {[&] { modelHub.fetchFile(url, "vocabulary", fileAttempts, fileMinBackoff); }, "fetchFile(vocabulary)"},
        {[&] { modelHub.fetchWithAuth(url); }, "fetchWithAuth(" + url.absoluteString() + ")"},
    };
    for (const auto& [operation, name] : cases) {
        EXPECT_EQ(errorText(operation), "QuorlAudio offline mode: " + name + " blocked");
    }
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(sleeper.waits().empty());
    EXPECT_TRUE(reports().empty());
}

TEST_F(ModelHubDownloadTest, FetchesOneFileWithRetriesAndARawAnswerWithTheToken) {
    environment.set("HF_TOKEN", "secret");
    hub.putFile(plainRemote, "vocab.json", "{\"a\":1}");
    const auto url = ModelRegistry::resolveModel(plainRemote, "vocab.json");
    hub.failPath(url.path(), LoopbackHub::Fault::answer(500));

    const auto body = modelHub.fetchFile(url, "vocabulary", fileAttempts, fileMinBackoff);
    const auto [missingBody, missing] = modelHub.fetchWithAuth(ModelRegistry::resolveModel(plainRemote, "none"));

    EXPECT_EQ(std::string(body.begin(), body.end()), "{\"a\":1}");
    EXPECT_EQ(sleeper.waits(), std::vector<double>{1});
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(std::string(missingBody.begin(), missingBody.end()), "Entry not found");
    EXPECT_EQ(hub.requests().back().header("Authorization"), "Bearer secret");
}

} // namespace
} // namespace quorl
