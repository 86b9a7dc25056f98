#pragma once

#include "platform/desktop/Window.hpp"

namespace mirvo {

// The host's one window: it shows the interface layer's engine and gives that engine's registry to the
// generated plug-ins.
class MainWindow final : public platform::desktop::Window {
public:
    using Window::Window;

    // Makes the engine's view controller the content while keeping the stored frame, sets the minimum size
    // and registers the generated plug-ins.
    void awakeFromNib() override;
};

} // namespace mirvo
