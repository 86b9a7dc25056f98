#include "platform/text/RegexReplacement.hpp"

#include <cstddef>

namespace platform::text {
namespace {

RegexCaptures capturesOf(const RegexMatch& match, std::string_view text) {
    RegexCaptures captures;
    captures.reserve(match.groups.size());
    for (std::size_t group = 0; group < match.groups.size(); ++group) {
        captures.push_back(match.captured(text, group));
    }
    return captures;
}

} // namespace

std::string replacingMatches(const Regex& regex, std::string_view text, const RegexReplacer& replacer) {
    std::string result;
    result.reserve(text.size());
    std::size_t copied = 0;
    for (const RegexMatch& match : regex.matches(text)) {
        const TextRange range = match.range();
        result.append(text.substr(copied, range.start - copied));
        const std::optional<std::string> replacement = replacer(capturesOf(match, text));
        result.append(replacement ? std::string_view(*replacement) : text.substr(range.start, range.length()));
        copied = range.end;
    }
    result.append(text.substr(copied));
    return result;
}

} // namespace platform::text
