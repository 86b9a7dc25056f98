#include "QuorlAudio/asr/biasing/ARPAError.hpp"

namespace quorl {

ARPAError::ARPAError(Kind kind, const std::string& path, const std::string& description)
    : platform::core::Error(description), kind_(kind), path_(path) {}

ARPAError ARPAError::cannotOpen(const std::string& path) {
    return {Kind::cannotOpen, path, "Cannot open ARPA file: " + path};
}

} // namespace quorl
