#include "platform/core/CancellationToken.hpp"

namespace platform::core {

CancellationError::CancellationError() : Error("The operation was cancelled.") {}

void CancellationToken::checkCancellation() const {
    if (isCancelled()) {
        throw CancellationError();
    }
}

} // namespace platform::core
