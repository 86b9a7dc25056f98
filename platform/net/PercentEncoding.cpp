#include "platform/net/Url.hpp"

#include "platform/net/UrlCharacters.hpp"

namespace platform::net {

namespace {

// The characters a path segment may hold as they are, plus the segment separator. ";" is left out: older
// servers read it as the start of path parameters.
bool staysInPath(char character) {
    return detail::isUnreserved(character) ||
           std::string_view("!$&'()*+,=:@/").find(character) != std::string_view::npos;
}

} // namespace

std::string percentEncodePath(std::string_view path) {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char character : path) {
        if (staysInPath(character)) {
            encoded.push_back(character);
        } else {
            const auto byte = static_cast<unsigned char>(character);
            encoded.push_back('%');
            encoded.push_back(hexDigits[byte >> 4]);
            encoded.push_back(hexDigits[byte & 0x0F]);
        }
    }
    return encoded;
}

} // namespace platform::net
