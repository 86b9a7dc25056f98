#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::net {

// HTTP header fields in arrival order. Names compare without regard to letter case; setting a field
// replaces every earlier field of that name. A name or value holding CR, LF or NUL is refused with
// std::invalid_argument.
class HttpHeaders {
public:
    void set(std::string_view name, std::string_view value);
    std::optional<std::string> value(std::string_view name) const;
    void remove(std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

} // namespace platform::net
