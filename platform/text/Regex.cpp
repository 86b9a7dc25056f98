#include "platform/text/Regex.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <cstdint>

namespace platform::text {
namespace {

std::optional<TextRange> groupRange(const icu::RegexMatcher& matcher, std::int32_t group) {
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t start = matcher.start64(group, status);
    const std::int64_t end = matcher.end64(group, status);
    icuSupport::check(status, "reading a regular expression group");
    if (start < 0) {
        return std::nullopt;
    }
    return TextRange{static_cast<std::size_t>(start), static_cast<std::size_t>(end)};
}

RegexMatch currentMatch(const icu::RegexMatcher& matcher) {
    RegexMatch match;
    for (std::int32_t group = 0; group <= matcher.groupCount(); ++group) {
        match.groups.push_back(groupRange(matcher, group));
    }
    return match;
}

} // namespace

TextRange RegexMatch::range() const { return *groups.front(); }

std::string_view RegexMatch::captured(std::string_view text, std::size_t group) const {
    const std::optional<TextRange>& range = groups.at(group);
    return range ? text.substr(range->start, range->length()) : std::string_view();
}

Regex::Regex(std::string_view pattern, RegexOptions options) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    const std::uint32_t flags = options.caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
    pattern_.reset(icu::RegexPattern::compile(icuSupport::fromUtf8(pattern), flags, parseError, status));
    icuSupport::check(status, "compiling a regular expression");
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

// The matcher reads the UTF-8 bytes through a UText, so the positions it reports are byte offsets of the text
// as given, with no conversion to UTF-16 and back.
template <class Visit> void Regex::search(std::string_view text, Visit visit) const {
    UErrorCode status = U_ZERO_ERROR;
    icu::LocalUTextPointer input(utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    icuSupport::check(status, "reading text for a regular expression");
    const std::unique_ptr<icu::RegexMatcher> matcher(pattern_->matcher(status));
    icuSupport::check(status, "creating a regular expression matcher");
    matcher->reset(input.getAlias());
    while (matcher->find(status) && visit(currentMatch(*matcher))) {}
    icuSupport::check(status, "searching with a regular expression");
}

std::vector<RegexMatch> Regex::matches(std::string_view text) const {
    std::vector<RegexMatch> found;
    search(text, [&](RegexMatch match) {
        found.push_back(std::move(match));
        return true;
    });
    return found;
}

std::optional<RegexMatch> Regex::firstMatch(std::string_view text) const {
    std::optional<RegexMatch> found;
    search(text, [&](RegexMatch match) {
        found = std::move(match);
        return false;
    });
    return found;
}

std::string Regex::replacingMatches(std::string_view text, std::string_view replacement) const {
    std::string result;
    result.reserve(text.size());
    std::size_t kept = 0;
    search(text, [&](const RegexMatch& match) {
        const TextRange range = match.range();
        result.append(text.substr(kept, range.start - kept)).append(replacement);
        kept = range.end;
        return true;
    });
    return result.append(text.substr(kept));
}

} // namespace platform::text
