#pragma once

#include "platform/text/Regex.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

// What one match captured: entry 0 the whole match, entry k group k; a group that took no part is empty.
using RegexCaptures = std::vector<std::string_view>;
// The text that takes a match's place, or none to leave the match as written.
using RegexReplacer = std::function<std::optional<std::string>(const RegexCaptures& captures)>;

// The text with every match of the expression replaced. All matches are found in the text as given and the result
// is written anew from left to right, so a replacement never moves or makes a match.
std::string replacingMatches(const Regex& regex, std::string_view text, const RegexReplacer& replacer);

} // namespace platform::text
