#include "platform/text/GraphemeClusters.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <cstdint>
#include <limits>
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

// Calls `visit` with each boundary's byte offset in the UTF-8 text, 0 and the text's size included.
template <class Visit> void forEachBoundary(std::string_view text, Visit visit) {
    // The iterator reports positions in 32 bits.
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        icuSupport::check(U_INDEX_OUTOFBOUNDS_ERROR, "reading text for the character break iterator");
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::LocalUTextPointer input(utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    icuSupport::check(status, "reading text for the character break iterator");
    auto& iterator = characterIterator();
    // Over a UTF-8 UText the iterator's positions are byte offsets of the text as given.
    iterator.setText(input.getAlias(), status);
    icuSupport::check(status, "setting the character break iterator's text");
    for (std::int32_t boundary = iterator.first(); boundary != icu::BreakIterator::DONE; boundary = iterator.next()) {
        visit(static_cast<std::size_t>(boundary));
    }
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
    std::vector<std::size_t> boundaries;
    boundaries.reserve(text.size() + 1);
    forEachBoundary(text, [&](std::size_t boundary) { boundaries.push_back(boundary); });
    return boundaries;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    forEachBoundary(text, [&](std::size_t) { ++count; });
    return count - 1;
}

// A character has at least one byte, so reserving one entry per byte never falls short; the pages of the part
// left unused are never touched.
std::vector<std::string_view> graphemeClusterViews(std::string_view text) {
    std::vector<std::string_view> clusters;
    clusters.reserve(text.size());
    std::size_t start = 0;
    forEachBoundary(text, [&](std::size_t boundary) {
        if (boundary > start) {
            clusters.push_back(text.substr(start, boundary - start));
        }
        start = boundary;
    });
    return clusters;
}

} // namespace platform::text
