#include "platform/text/DecimalFloat.hpp"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace platform::text {
namespace {

// The conversion must not follow the process's locale: "1.5" reads the same everywhere.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool startsWithWhiteSpace(std::string_view text) {
    return std::string_view(" \t\n\v\f\r").find(text.front()) != std::string_view::npos;
}

} // namespace

std::optional<float> decimalFloat(std::string_view text) {
    if (text.empty() || startsWithWhiteSpace(text)) {
        return std::nullopt;
    }
    const std::string terminated(text);
    char* end = nullptr;
    errno = 0;
    const float parsed = strtof_l(terminated.c_str(), &end, cLocale());
    if (end != terminated.c_str() + terminated.size() || errno == ERANGE) {
        return std::nullopt;
    }
    return parsed;
}

} // namespace platform::text
