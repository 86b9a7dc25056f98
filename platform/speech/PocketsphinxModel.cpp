#include "platform/speech/PocketsphinxModel.hpp"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace platform::speech {

namespace {

namespace fs = std::filesystem;

// "en-us" and "en_US" both become "en-US": the language in lower case, the region in upper case.
std::string localeIdentifier(const std::string& name) {
    std::string identifier;
    bool inRegion = false;
    for (const char character : name) {
        if (character == '-' || character == '_') {
            identifier += '-';
            inRegion = true;
            continue;
        }
        const auto byte = static_cast<unsigned char>(character);
        identifier += static_cast<char>(inRegion ? std::toupper(byte) : std::tolower(byte));
    }
    return identifier;
}

std::optional<PocketsphinxModel> modelIn(const fs::path& folder) {
    const auto name = folder.filename().string();
    PocketsphinxModel model{.locale = localeIdentifier(name),
                            .acousticModel = folder / name,
                            .languageModel = folder / (name + ".lm.bin"),
                            .dictionary = folder / ("cmudict-" + name + ".dict")};
    std::error_code unreadable;
    const bool complete = fs::is_directory(model.acousticModel, unreadable) &&
                          fs::is_regular_file(model.languageModel, unreadable) &&
                          fs::is_regular_file(model.dictionary, unreadable);
    return complete ? std::optional(model) : std::nullopt;
}

} // namespace

std::vector<PocketsphinxModel> PocketsphinxModel::installed(const fs::path& root) {
    std::vector<PocketsphinxModel> models;
    std::error_code unreadable;
    for (const auto& entry : fs::directory_iterator(root, unreadable)) {
        if (auto model = modelIn(entry.path())) {
            models.push_back(std::move(*model));
        }
    }
    std::ranges::sort(models, {}, &PocketsphinxModel::locale);
    return models;
}

std::optional<PocketsphinxModel> PocketsphinxModel::find(const fs::path& root, const std::string& locale) {
    const auto wanted = localeIdentifier(locale);
    for (auto& model : installed(root)) {
        if (model.locale == wanted) {
            return std::move(model);
        }
    }
    return std::nullopt;
}

} // namespace platform::speech
