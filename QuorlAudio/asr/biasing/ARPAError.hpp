#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of loading an ARPA language model; only the opening of the file can fail.
class ARPAError : public platform::core::Error {
public:
    enum class Kind { cannotOpen };

    // "Cannot open ARPA file: " and the path.
    static ARPAError cannotOpen(const std::string& path);

    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }

private:
    ARPAError(Kind kind, const std::string& path, const std::string& description);

    Kind kind_;
    std::string path_;
};

} // namespace quorl
