#pragma once

#include "HubTest.hpp"
#include "LogLines.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/RecordingSleeper.hpp"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace quorl::testing {

// A loopback hub that plays the toolkit's repositories, Application Support in the scratch folder, and
// records of progress, log lines and back-off waits.
class ModelHubTest : public HubTest {
protected:
    ModelHubTest() {
        environment.set("XDG_DATA_HOME", (folder / "data").string()).set("HOME", (folder / "home").string());
    }

    // The default models root, inside the scratch folder.
    static std::filesystem::path modelsRoot() { return MLModelConfigurationUtils::defaultModelsDirectory(); }

    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // Serves a compiled bundle for `kernel` at `path` of `repo` on the hub: "coremldata.bin" (unless left
    // out), "model.json" and any extra files inside the bundle folder.
    void putBundle(Repo repo, const std::string& path, const std::string& kernel, bool withCompiledData = true,
                   const std::vector<std::pair<std::string, std::string>>& extraFiles = {}) {
        const auto bundle = testsupport::writeModelBundle(folder / "bundles" / std::to_string(bundles++), "B.mlmodelc",
                                                          testsupport::modelManifest(kernel, {}, {}));
        if (withCompiledData) {
            hub.putFile(remotePath(repo), path + "/coremldata.bin",
                        testsupport::fileContents(bundle / "coremldata.bin"));
        }
        hub.putFile(remotePath(repo), path + "/model.json", testsupport::fileContents(bundle / "model.json"));
        for (const auto& [name, content] : extraFiles) {
            hub.putFile(remotePath(repo), path + "/" + name, content);
        }
    }

    // Serves every file below `source` at the same relative path of `repo` (under its sub-folder, if any).
    void serveFolder(Repo repo, const std::filesystem::path& source) {
        const auto sub = subPath(repo);
        const std::string prefix = sub && !sub->empty() ? *sub + "/" : "";
        for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
            if (entry.is_regular_file()) {
                hub.putFile(remotePath(repo), prefix + std::filesystem::relative(entry.path(), source).generic_string(),
                            testsupport::fileContents(entry.path()));
            }
        }
    }

    // Writes the same bundle straight into the cache folder.
    static void cacheBundle(const std::filesystem::path& repositoryFolder, const std::string& name,
                            const std::string& kernel) {
        testsupport::writeModelBundle(repositoryFolder, name, testsupport::modelManifest(kernel, {}, {}));
    }

    ProgressHandler recordProgress() {
        return [this](const DownloadProgress& report) {
            std::lock_guard lock(mutex);
            progress.push_back(report);
        };
    }

    std::vector<DownloadProgress> reports() {
        std::lock_guard lock(mutex);
        return progress;
    }

    // The hub's lines without the host line, which only the first load in the process writes.
    std::vector<std::string> lines() const {
        auto logged = logLines(sink);
        std::erase_if(logged, [](const std::string& line) { return line.starts_with("Host environment: "); });
        return logged;
    }

    testsupport::RecordingLogSink sink;
    // The hub the test drives, on the test's session and sleeper.
    ModelHub modelHub{{.session = session, .sleeper = &sleeper}};

private:
    int bundles = 0;
    std::mutex mutex;
    std::vector<DownloadProgress> progress;
};

} // namespace quorl::testing
