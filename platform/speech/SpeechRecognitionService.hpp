#pragma once

#include "platform/speech/SpeechAuthorizationStatus.hpp"
#include "platform/speech/SpeechRecognizer.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::speech {

// The system's speech recognition: which locales it knows, a recogniser for one, and the user's permission.
class SpeechRecognitionService {
public:
    using AuthorizationHandler = std::function<void(SpeechAuthorizationStatus status)>;

    virtual ~SpeechRecognitionService() = default;

    // Locale identifiers such as "en-US", in no particular order.
    virtual std::vector<std::string> supportedLocales() const = 0;
    // None when no recogniser exists for the locale.
    virtual std::shared_ptr<SpeechRecognizer> makeRecognizer(const std::string& locale) = 0;
    // Answers once, on any thread.
    virtual void requestAuthorization(AuthorizationHandler handler) = 0;
};

} // namespace platform::speech
