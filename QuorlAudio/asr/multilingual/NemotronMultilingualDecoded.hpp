#pragma once

#include <optional>
#include <string>

namespace quorl {

// Token ids read back as display text, and the language named by the first language tag among them.
struct NemotronMultilingualDecoded {
    std::string text;
    std::optional<std::string> detectedLanguage;

    bool operator==(const NemotronMultilingualDecoded&) const = default;
};

} // namespace quorl
