#include "QuorlAudio/asr/multilingual/NemotronMultilingualTerminalPunctuation.hpp"

#include "platform/text/CaseMapping.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace quorl {
namespace {

constexpr std::array<std::string_view, 7> terminalCharacters{".", "!", "?", "\u3002", "\uFF01", "\uFF1F", "\u2026"};

bool usesIdeographicFullStop(const std::optional<std::string>& language) {
    return language && (language->starts_with("zh") || language->starts_with("ja"));
}

} // namespace

std::string tidyTerminalPunctuation(const std::string& text, const std::optional<std::string>& language) {
    const std::string trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(text);
    if (trimmed.empty()) {
        return text;
    }
    const auto boundaries = platform::text::graphemeBoundaries(trimmed);
    const std::string_view view(trimmed);
    std::string tidied = platform::text::uppercased(view.substr(0, boundaries[1]));
    tidied += view.substr(boundaries[1]);
    const std::string_view last = view.substr(boundaries[boundaries.size() - 2]);
    if (std::ranges::find(terminalCharacters, last) == terminalCharacters.end()) {
        tidied += usesIdeographicFullStop(language) ? "\u3002" : ".";
    }
    return tidied;
}

} // namespace quorl
