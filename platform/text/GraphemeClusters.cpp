#include "platform/text/GraphemeClusters.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <cstdint>
#include <memory>

namespace platform::text {
namespace {

// Making a break iterator loads rules; one per thread is kept so that splitting many short words stays cheap.
icu::BreakIterator& characterIterator() {
    thread_local const std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        icuSupport::check(status, "creating the character break iterator");
        return created;
    }();
    return *iterator;
}

} // namespace

std::vector<std::string> graphemeClusters(std::string_view text) {
    const icu::UnicodeString unicode = icuSupport::fromUtf8(text);
    auto& iterator = characterIterator();
    iterator.setText(unicode);
    std::vector<std::string> clusters;
    std::int32_t start = iterator.first();
    for (std::int32_t end = iterator.next(); end != icu::BreakIterator::DONE; start = end, end = iterator.next()) {
        clusters.push_back(icuSupport::toUtf8(unicode.tempSubStringBetween(start, end)));
    }
    return clusters;
}

std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    icu::LocalUTextPointer input(
        utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    icuSupport::check(status, "reading text for the character break iterator");
    auto& iterator = characterIterator();
    // Over a UTF-8 UText the iterator's positions are byte offsets of the text as given.
    iterator.setText(input.getAlias(), status);
    icuSupport::check(status, "setting the character break iterator's text");
    std::vector<std::size_t> boundaries;
    for (std::int32_t boundary = iterator.first(); boundary != icu::BreakIterator::DONE;
         boundary = iterator.next()) {
        boundaries.push_back(static_cast<std::size_t>(boundary));
    }
    return boundaries;
}

std::vector<std::string_view> graphemeClusterViews(std::string_view text) {
    const std::vector<std::size_t> boundaries = graphemeBoundaries(text);
    std::vector<std::string_view> clusters;
    clusters.reserve(boundaries.size() - 1);
    for (std::size_t index = 1; index < boundaries.size(); ++index) {
        clusters.push_back(text.substr(boundaries[index - 1], boundaries[index] - boundaries[index - 1]));
    }
    return clusters;
}

} // namespace platform::text
