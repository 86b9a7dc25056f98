#include "platform/text/CaseMapping.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/locid.h>

namespace platform::text {

std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode = icuSupport::fromUtf8(text);
    // The root locale has no tailoring, so "I" stays "i" whatever the process's locale is.
    unicode.toLower(icu::Locale::getRoot());
    return icuSupport::toUtf8(unicode);
}

} // namespace platform::text
