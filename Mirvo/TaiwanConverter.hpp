#pragma once

#include <memory>
#include <string>

namespace opencc {
class SimpleConverter;
}

namespace mirvo {

// Simplified Chinese to Traditional Chinese with Taiwan's standard characters and idioms, through OpenCC's
// "s2twp" conversion.
class TaiwanConverter {
public:
    static constexpr const char* taiwanPhrasesConfiguration = "s2twp.json";

    // Loads the conversion's configuration and dictionaries (a bare file name is looked up in OpenCC's data
    // folder). Throws std::runtime_error with OpenCC's description when they cannot be loaded.
    explicit TaiwanConverter(const std::string& configuration = taiwanPhrasesConfiguration);
    ~TaiwanConverter();
    TaiwanConverter(const TaiwanConverter&) = delete;
    TaiwanConverter& operator=(const TaiwanConverter&) = delete;

    // Safe from several threads at once.
    std::string convert(const std::string& simplified) const;

private:
    std::unique_ptr<opencc::SimpleConverter> converter_;
};

} // namespace mirvo
