#include "platform/text/SpellOut.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/locid.h>
#include <unicode/rbnf.h>

#include <memory>

namespace platform::text {
namespace {

// A formatter is not safe to share between threads while formatting, and making one parses its rules, so each
// thread keeps its own. Null when ICU cannot make one.
const icu::RuleBasedNumberFormat* englishFormatter() {
    thread_local const std::unique_ptr<icu::RuleBasedNumberFormat> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto created =
            std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT, icu::Locale("en_US_POSIX"), status);
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return formatter.get();
}

} // namespace

std::string englishSpellOut(std::int64_t value) {
    const icu::RuleBasedNumberFormat* formatter = englishFormatter();
    if (formatter == nullptr) {
        return {};
    }
    icu::UnicodeString words;
    formatter->format(value, words);
    return icuSupport::toUtf8(words);
}

} // namespace platform::text
