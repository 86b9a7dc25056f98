#pragma once

#include "platform/speech/SpeechRecognitionService.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::speech {

struct PocketsphinxServiceConfig {
    // Where the pocketsphinx language packages put their models.
    std::filesystem::path modelFolder = "/usr/share/pocketsphinx/model";
};

// Linux has no speech recogniser of its own; this one is backed by pocketsphinx, and its locales are the
// models installed (the pocketsphinx-en-us package installs "en-US"). Nothing asks the user for permission
// here, so authorisation is always granted.
class PocketsphinxService final : public SpeechRecognitionService {
public:
    // Results are delivered on `mainQueue`.
    explicit PocketsphinxService(core::MainQueue& mainQueue, PocketsphinxServiceConfig config = {});

    std::vector<std::string> supportedLocales() const override;
    std::shared_ptr<SpeechRecognizer> makeRecognizer(const std::string& locale) override;
    void requestAuthorization(AuthorizationHandler handler) override;

private:
    core::MainQueue& mainQueue_;
    const PocketsphinxServiceConfig config_;
};

} // namespace platform::speech
