#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform::speech {

// One language's model as the pocketsphinx packages install it: a folder named after the locale in lower
// case ("en-us") holding the acoustic model folder of the same name, "<name>.lm.bin" and
// "cmudict-<name>.dict".
struct PocketsphinxModel {
    // "en-US".
    std::string locale;
    std::filesystem::path acousticModel;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;

    // The complete models under `root`, sorted by locale.
    static std::vector<PocketsphinxModel> installed(const std::filesystem::path& root);
    // The model for `locale`, matched without regard to case or to "-" and "_".
    static std::optional<PocketsphinxModel> find(const std::filesystem::path& root, const std::string& locale);
};

} // namespace platform::speech
