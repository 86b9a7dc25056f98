#pragma once

#include "platform/desktop/Rect.hpp"

namespace platform::desktop {

// The content of a window. Kinds of content derive from it.
class ViewController {
public:
    virtual ~ViewController() = default;

    // The size the content asks for; a window takes it when the controller becomes its content.
    Size preferredContentSize() const { return preferredContentSize_; }
    void setPreferredContentSize(Size size) { preferredContentSize_ = size; }

private:
    Size preferredContentSize_;
};

} // namespace platform::desktop
