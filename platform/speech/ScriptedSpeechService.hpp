#pragma once

#include "platform/speech/ScriptedRecognitionTask.hpp"
#include "platform/speech/SpeechRecognitionService.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::speech {

// A speech recognition service that tests drive: the locales and the authorisation they choose, and tasks
// that deliver what the test tells them to.
class ScriptedSpeechService final : public SpeechRecognitionService {
public:
    struct Locale {
        std::string identifier;
        bool supportsOnDeviceRecognition = true;
    };

    struct Config {
        std::vector<Locale> locales;
        SpeechAuthorizationStatus authorization = SpeechAuthorizationStatus::authorized;
    };

    ScriptedSpeechService(core::MainQueue& mainQueue, Config config);

    std::vector<std::string> supportedLocales() const override;
    std::shared_ptr<SpeechRecognizer> makeRecognizer(const std::string& locale) override;
    void requestAuthorization(AuthorizationHandler handler) override;

    int authorizationRequests() const;
    // Every task started so far, oldest first.
    std::vector<std::shared_ptr<ScriptedRecognitionTask>> tasks() const;

private:
    class Recognizer;

    core::MainQueue& mainQueue_;
    const Config config_;
    mutable std::mutex mutex_;
    int authorizationRequests_ = 0;
    std::vector<std::shared_ptr<ScriptedRecognitionTask>> tasks_;
};

} // namespace platform::speech
