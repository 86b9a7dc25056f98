#include "platform/speech/PocketsphinxService.hpp"

#include "platform/speech/PocketsphinxModel.hpp"
#include "platform/speech/PocketsphinxRecognizer.hpp"

#include <utility>

namespace platform::speech {

PocketsphinxService::PocketsphinxService(core::MainQueue& mainQueue, PocketsphinxServiceConfig config)
    : mainQueue_(mainQueue), config_(std::move(config)) {}

std::vector<std::string> PocketsphinxService::supportedLocales() const {
    std::vector<std::string> locales;
    for (const auto& model : PocketsphinxModel::installed(config_.modelFolder)) {
        locales.push_back(model.locale);
    }
    return locales;
}

std::shared_ptr<SpeechRecognizer> PocketsphinxService::makeRecognizer(const std::string& locale) {
    auto model = PocketsphinxModel::find(config_.modelFolder, locale);
    if (!model) {
        return nullptr;
    }
    return std::make_shared<PocketsphinxRecognizer>(std::move(*model), mainQueue_);
}

void PocketsphinxService::requestAuthorization(AuthorizationHandler handler) {
    handler(SpeechAuthorizationStatus::authorized);
}

} // namespace platform::speech
