#pragma once

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/kokoro/KokoroTestRepository.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorl::testing {

// A Kokoro repository served by the loopback hub, a home folder of the test's own and the log lines written.
class KokoroTest : public HubTest {
protected:
    KokoroTest() { environment.set("HOME", (folder / "home").string()); }

    std::shared_ptr<KokoroAneModelStore>
    makeStore(KokoroAneVariant variant, KokoroAneComputeUnits units = KokoroAneComputeUnits::defaultConfig()) {
        repository.serve(hub, variant);
        return std::make_shared<KokoroAneModelStore>(modelsRoot, units, variant);
    }

    std::filesystem::path repositoryFolder(KokoroAneVariant variant) const {
        return KokoroTestRepository::repositoryFolder(modelsRoot, variant);
    }

    std::vector<std::string> lines(const std::string& category, platform::sys::LogType type) const {
        return sink.messages(category, type);
    }

    // "<kind number>: <text>" of the KokoroAneError thrown, or a note of what else happened.
    static std::string kokoroError(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const KokoroAneError& error) {
            return std::to_string(static_cast<int>(error.kind())) + ": " + error.what();
        } catch (const std::exception& error) {
            return std::string("other error: ") + error.what();
        }
        return "nothing thrown";
    }

    static std::string kind(KokoroAneError::Kind kind, const std::string& text) {
        return std::to_string(static_cast<int>(kind)) + ": " + text;
    }

    const std::filesystem::path modelsRoot = folder / "Models";
    KokoroTestRepository repository;
    testsupport::RecordingLogSink sink;
};

} // namespace quorl::testing
