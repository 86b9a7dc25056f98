#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/desktop/Application.hpp"
#include "platform/desktop/Menu.hpp"
#include "platform/desktop/StatusItem.hpp"
#include "platform/desktop/Window.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <memory>
#include <optional>
#include <string>

namespace mirvo {

// The menu-bar item: a microphone whose tool tip tells whether dictation listens, with the clock's elapsed time
// beside it while the clock runs. A left click shows or hides the panel (the engine's window) under the item; a
// right click or Control-click opens the menu, whose entries become events, handed to the sink at once, except
// Quit, which ends the application. Everything runs on the main queue.
class StatusBarController : public ChannelPlugin {
public:
    struct Services {
        // Linux has no menu bar of this kind: the item lives in process, for whoever shows or inspects it.
        std::shared_ptr<platform::desktop::StatusBar> statusBar = std::make_shared<platform::desktop::StatusBar>();
        // The host's application, with the panel among its windows; none: no panel, and Quit ends nothing.
        platform::desktop::Application* application = nullptr;
    };

    explicit StatusBarController(platform::ui::BinaryMessenger& messenger);
    StatusBarController(platform::ui::BinaryMessenger& messenger, Services services);
    // Takes its actions back from the item and the menu, which may outlive it.
    ~StatusBarController() override;

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    void setupStatusItem();
    std::shared_ptr<platform::desktop::Menu> makeMenu();
    void applyState(const platform::ui::Value& arguments);
    void refreshStatusItemAppearance();
    void statusItemActivated();
    void togglePanel();
    void showPanel(platform::desktop::Window& panel);
    void showContextMenu();
    void positionPanelNearStatusItem(platform::desktop::Window& panel);
    void dictateMenuAction();
    void clockMenuAction();
    void openWebMenuAction();
    void quitMenuAction();
    std::shared_ptr<platform::desktop::Window> panelWindow() const;

    const Services services_;
    std::shared_ptr<platform::desktop::StatusItem> statusItem_;
    std::shared_ptr<platform::desktop::Menu> contextMenu_;
    // The second entry of the menu, whose title follows the clock.
    platform::desktop::MenuItem* clockMenuItem_ = nullptr;
    bool listening_ = false;
    bool clockRunning_ = false;
    std::optional<std::string> elapsed_;
};

} // namespace mirvo
