#include "platform/desktop/Window.hpp"

#include <algorithm>

namespace platform::desktop {

Window::Window(Application& application, Rect frame) : application_(application), frame_(frame) {}

void Window::setFrame(Rect frame, bool display) {
    frame_ = Rect{.origin = frame.origin,
                  .size = Size{.width = std::max(frame.size.width, minSize_.width),
                               .height = std::max(frame.size.height, minSize_.height)}};
    if (display) {
        ++displayCount_;
    }
}

void Window::setContentViewController(std::shared_ptr<ViewController> controller) {
    contentViewController_ = std::move(controller);
    if (contentViewController_) {
        setFrame(Rect{.origin = frame_.origin, .size = contentViewController_->preferredContentSize()}, false);
    }
}

} // namespace platform::desktop
