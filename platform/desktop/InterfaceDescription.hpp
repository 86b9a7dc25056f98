#pragma once

#include "platform/desktop/ApplicationDelegate.hpp"
#include "platform/desktop/Rect.hpp"
#include "platform/desktop/Window.hpp"

#include <functional>
#include <memory>

namespace platform::desktop {

class Application;

// The application's main interface: what to make at start and how. Other systems keep this in a resource
// file beside the program; here the application writes it in code.
struct InterfaceDescription {
    // Makes the main window, of the application's own window class, with the stored frame.
    std::function<std::shared_ptr<Window>(Application& application, Rect frame)> makeMainWindow;
    Rect mainWindowFrame;
    std::function<std::shared_ptr<ApplicationDelegate>(Application& application)> makeDelegate;
};

} // namespace platform::desktop
