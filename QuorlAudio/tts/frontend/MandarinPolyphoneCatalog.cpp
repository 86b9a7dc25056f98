#include "QuorlAudio/tts/frontend/MandarinPolyphoneCatalog.hpp"

#include "platform/sys/WholeFile.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

namespace quorl {
namespace {

using Readings = std::unordered_map<std::string, std::vector<std::string>>;

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (end > start) {
            lines.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

bool isComment(std::string_view line) { return line.empty() || line.starts_with('#'); }

} // namespace

MandarinPolyphoneCatalog::LoadError::LoadError(const std::string& text)
    : platform::core::Error("POLYPHONIC_CHARS.txt parse error: " + text) {}

MandarinPolyphoneCatalog::LoadError MandarinPolyphoneCatalog::LoadError::malformed(const std::string& text) {
    return LoadError(text);
}

MandarinPolyphoneCatalog MandarinPolyphoneCatalog::load(const std::filesystem::path& fileURL) {
    return MandarinPolyphoneCatalog(platform::sys::wholeFile(fileURL));
}

MandarinPolyphoneCatalog::MandarinPolyphoneCatalog(std::string_view text) {
    Readings readings;
    for (const auto line : nonEmptyLines(text)) {
        const auto trimmed = platform::text::trimmingBlanks(line);
        if (!isComment(trimmed)) {
            addLine(trimmed, readings);
        }
    }
    number(readings);
}

void MandarinPolyphoneCatalog::addLine(std::string_view line, Readings& readings) {
    const std::size_t separator = line.find_first_of(" \t");
    if (separator == std::string_view::npos) {
        throw LoadError::malformed("expected '<hanzi><sep><bopomofo>', got '" + std::string(line) + "'");
    }
    const std::string_view first = line.substr(0, separator);
    if (platform::text::characterCount(first) != 1) {
        throw LoadError::malformed("expected single hanzi in column 1, got '" + std::string(first) + "'");
    }
    // The line ends in no blank, so the reading after the separator is never empty.
    const auto reading = platform::text::trimmingBlanks(line.substr(separator + 1));
    const std::string character = platform::text::nfc(first);
    if (!readings.contains(character)) {
        charIndex_.emplace(character, chars_.size());
        chars_.push_back(character);
    }
    readings[character].push_back(platform::text::nfc(reading));
}

void MandarinPolyphoneCatalog::number(const Readings& readings) {
    std::set<std::string> distinct;
    for (const auto& [character, list] : readings) {
        distinct.insert(list.begin(), list.end());
    }
    // UTF-8 byte order is the order of Unicode scalar values.
    labels_.assign(distinct.begin(), distinct.end());
    for (const auto& [character, list] : readings) {
        auto& numbers = candidatesByChar_[character];
        for (const auto& reading : list) {
            const auto label = static_cast<int>(std::ranges::lower_bound(labels_, reading) - labels_.begin());
            if (std::ranges::find(numbers, label) == numbers.end()) {
                numbers.push_back(label);
            }
        }
    }
}

std::optional<std::vector<int>> MandarinPolyphoneCatalog::candidates(std::string_view character) const {
    const auto found = candidatesByChar_.find(platform::text::nfc(character));
    if (found == candidatesByChar_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> MandarinPolyphoneCatalog::bopomofo(int label) const {
    if (label < 0 || static_cast<std::size_t>(label) >= labels_.size()) {
        return std::nullopt;
    }
    return labels_[static_cast<std::size_t>(label)];
}

std::optional<std::string> MandarinPolyphoneCatalog::bopomofoDigitForm(int label) const {
    const auto reading = bopomofo(label);
    if (!reading) {
        return std::nullopt;
    }
    return toneDigitForm(*reading);
}

std::string MandarinPolyphoneCatalog::toneDigitForm(std::string_view reading) {
    static const std::array<std::pair<std::string_view, char>, 4> marks{
        {{"\u02CA", '2'}, {"\u02C7", '3'}, {"\u02CB", '4'}, {"\u02D9", '5'}}};
    if (reading.empty()) {
        return {};
    }
    const auto characters = platform::text::graphemeClusterViews(reading);
    const std::string_view last = characters.back();
    const std::string body(reading.substr(0, reading.size() - last.size()));
    for (const auto& [mark, digit] : marks) {
        if (last == mark) {
            return body + digit;
        }
    }
    return std::string(reading) + '1';
}

} // namespace quorl
