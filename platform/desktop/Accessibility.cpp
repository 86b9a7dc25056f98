#include "platform/desktop/Accessibility.hpp"

namespace platform::desktop {

Accessibility& Accessibility::shared() {
    static Accessibility accessibility;
    return accessibility;
}

bool Accessibility::isProcessTrusted(bool prompt) {
    const bool trusted = trusted_;
    if (!trusted && prompt) {
        ++promptCount_;
    }
    return trusted;
}

} // namespace platform::desktop
