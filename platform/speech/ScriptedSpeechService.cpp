#include "platform/speech/ScriptedSpeechService.hpp"

#include <algorithm>
#include <utility>

namespace platform::speech {

class ScriptedSpeechService::Recognizer final : public SpeechRecognizer {
public:
    Recognizer(ScriptedSpeechService& service, bool onDevice) : service_(service), onDevice_(onDevice) {}

    bool supportsOnDeviceRecognition() const override { return onDevice_; }

    std::shared_ptr<SpeechRecognitionTask> recognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                                           RecognitionHandler handler) override {
        auto task =
            std::make_shared<ScriptedRecognitionTask>(std::move(request), std::move(handler), service_.mainQueue_);
        const std::lock_guard lock(service_.mutex_);
        service_.tasks_.push_back(task);
        return task;
    }

private:
    ScriptedSpeechService& service_;
    const bool onDevice_;
};

ScriptedSpeechService::ScriptedSpeechService(core::MainQueue& mainQueue, Config config)
    : mainQueue_(mainQueue), config_(std::move(config)) {}

std::vector<std::string> ScriptedSpeechService::supportedLocales() const {
    std::vector<std::string> identifiers;
    for (const auto& locale : config_.locales) {
        identifiers.push_back(locale.identifier);
    }
    return identifiers;
}

std::shared_ptr<SpeechRecognizer> ScriptedSpeechService::makeRecognizer(const std::string& locale) {
    const auto found = std::ranges::find(config_.locales, locale, &Locale::identifier);
    if (found == config_.locales.end()) {
        return nullptr;
    }
    return std::make_shared<Recognizer>(*this, found->supportsOnDeviceRecognition);
}

void ScriptedSpeechService::requestAuthorization(AuthorizationHandler handler) {
    {
        const std::lock_guard lock(mutex_);
        ++authorizationRequests_;
    }
    handler(config_.authorization);
}

int ScriptedSpeechService::authorizationRequests() const {
    const std::lock_guard lock(mutex_);
    return authorizationRequests_;
}

std::vector<std::shared_ptr<ScriptedRecognitionTask>> ScriptedSpeechService::tasks() const {
    const std::lock_guard lock(mutex_);
    return tasks_;
}

} // namespace platform::speech
