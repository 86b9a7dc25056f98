#include "platform/text/IcuSupport.hpp"

#include "platform/core/SystemError.hpp"

#include <unicode/stringpiece.h>

#include <cstdint>
#include <limits>

namespace platform::text::icuSupport {

icu::UnicodeString fromUtf8(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        check(U_INDEX_OUTOFBOUNDS_ERROR, "reading UTF-8 text");
    }
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

void check(UErrorCode status, std::string_view operation) {
    if (U_FAILURE(status)) {
        std::string description(operation);
        description.append(": ").append(u_errorName(status));
        throw core::SystemError("ICU", status, description);
    }
}

} // namespace platform::text::icuSupport
