#include "Mirvo/MainWindow.hpp"

#include "Mirvo/GeneratedPluginRegistrant.hpp"

#include "platform/desktop/Application.hpp"
#include "platform/ui/EngineViewController.hpp"

#include <memory>

namespace mirvo {

void MainWindow::awakeFromNib() {
    auto engineViewController = std::make_shared<platform::ui::EngineViewController>(application().mainQueue());
    // A new content controller resizes the window to its own size; the stored frame is what the user sees.
    const platform::desktop::Rect storedFrame = frame();
    setContentViewController(engineViewController);
    setFrame(storedFrame, true);
    setMinSize(platform::desktop::Size{.width = 760, .height = 640});
    RegisterGeneratedPlugins(*engineViewController);
    Window::awakeFromNib();
}

} // namespace mirvo
