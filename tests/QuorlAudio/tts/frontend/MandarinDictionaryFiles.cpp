#include "tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.hpp"

#include "platform/core/LittleEndian.hpp"

namespace testsupport {
namespace {

std::string list(const std::vector<std::string>& texts) {
    std::string bytes(1, static_cast<char>(texts.size()));
    for (const std::string& text : texts) {
        bytes.push_back(static_cast<char>(text.size()));
        bytes += text;
    }
    return bytes;
}

} // namespace

std::string singlesRecord(std::uint32_t codePoint, const std::vector<std::string>& readings) {
    std::string bytes;
    platform::core::appendLittleEndian(bytes, codePoint);
    return bytes + list(readings);
}

std::string phrasesRecord(std::string_view phrase, const std::vector<std::string>& syllables) {
    std::string bytes;
    platform::core::appendLittleEndian(bytes, static_cast<std::uint16_t>(phrase.size()));
    return bytes + std::string(phrase) + list(syllables);
}

} // namespace testsupport
