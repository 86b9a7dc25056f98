#pragma once

#include "platform/desktop/Rect.hpp"
#include "platform/desktop/ViewController.hpp"

#include <memory>

namespace platform::desktop {

class Application;

// A window of the application: a frame on screen, a minimum size and a content view controller. Used on
// the main queue only.
class Window {
public:
    Window(Application& application, Rect frame);
    virtual ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    Application& application() const { return application_; }

    Rect frame() const { return frame_; }
    // Moves and resizes the window; a size below the minimum is raised to it. With `display` the window is
    // redrawn at once.
    void setFrame(Rect frame, bool display);

    // Keeps the size.
    void setFrameOrigin(Point origin) { frame_.origin = origin; }

    bool isVisible() const { return visible_; }
    // Shows the window in front as the key window.
    void makeKeyAndOrderFront() { visible_ = true; }
    // Hides the window.
    void orderOut() { visible_ = false; }

    Size minSize() const { return minSize_; }
    // Applies to later frame changes.
    void setMinSize(Size size) { minSize_ = size; }

    const std::shared_ptr<ViewController>& contentViewController() const { return contentViewController_; }
    // The window takes the controller's preferred content size, keeping its origin.
    void setContentViewController(std::shared_ptr<ViewController> controller);

    // How many times the window has been redrawn.
    int displayCount() const { return displayCount_; }

    // Called once after the window has been made from the interface description; subclasses finish their
    // set-up here and then call this.
    virtual void awakeFromNib() {}

private:
    Application& application_;
    Rect frame_;
    Size minSize_;
    std::shared_ptr<ViewController> contentViewController_;
    int displayCount_ = 0;
    bool visible_ = true;
};

} // namespace platform::desktop
