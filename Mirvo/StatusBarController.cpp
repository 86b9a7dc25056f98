#include "Mirvo/StatusBarController.hpp"

#include "Mirvo/MainWindow.hpp"
#include "Mirvo/PanelPlacement.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/EngineViewController.hpp"

#include <utility>

namespace mirvo {

namespace ui = platform::ui;
namespace desktop = platform::desktop;

namespace {

constexpr const char* listeningToolTip = "Mirvo is listening \u2014 hold Fn, or click to open";

} // namespace

StatusBarController::StatusBarController(ui::BinaryMessenger& messenger) : StatusBarController(messenger, Services{}) {}

StatusBarController::StatusBarController(ui::BinaryMessenger& messenger, Services services)
    : ChannelPlugin(messenger, "mirvo/status_bar", "mirvo/status_bar_events"), services_(std::move(services)) {
    setupStatusItem();
}

StatusBarController::~StatusBarController() {
    if (auto* button = statusItem_->button()) {
        button->action = nullptr;
    }
    for (auto& item : contextMenu_->items()) {
        item.action = nullptr;
    }
}

void StatusBarController::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "setState") {
        applyState(call.arguments);
        result.success();
    } else if (call.method == "show") {
        if (const auto panel = panelWindow()) {
            showPanel(*panel);
        }
        result.success();
    } else if (call.method == "hide") {
        if (const auto panel = panelWindow()) {
            panel->orderOut();
        }
        result.success();
    } else {
        ChannelPlugin::handle(call, result);
    }
}

void StatusBarController::setupStatusItem() {
    statusItem_ = services_.statusBar->statusItem(desktop::StatusItem::variableLength);
    if (auto* button = statusItem_->button()) {
        button->image =
            desktop::SymbolImage{.symbolName = "mic", .accessibilityDescription = "Mirvo", .isTemplate = true};
        button->action = [this] { statusItemActivated(); };
        button->sendsActionOn = {desktop::ApplicationEventType::leftMouseUp,
                                 desktop::ApplicationEventType::rightMouseUp};
    }
    // Kept apart from the item, so that a left click reaches the action instead of opening it.
    contextMenu_ = makeMenu();
    clockMenuItem_ = &contextMenu_->items()[1];
    refreshStatusItemAppearance();
}

std::shared_ptr<desktop::Menu> StatusBarController::makeMenu() {
    auto menu = std::make_shared<desktop::Menu>();
    menu->addItem({.title = "Dictate", .action = [this] { dictateMenuAction(); }});
    menu->addItem({.title = "Clock in", .action = [this] { clockMenuAction(); }});
    menu->addItem({.title = "Open Mirvo on the web", .action = [this] { openWebMenuAction(); }});
    menu->addItem(desktop::MenuItem::separator());
    menu->addItem({.title = "Quit", .keyEquivalent = "q", .action = [this] { quitMenuAction(); }});
    return menu;
}

void StatusBarController::applyState(const ui::Value& arguments) {
    const auto* state = arguments.get<ui::ValueMap>();
    if (state == nullptr) {
        return;
    }
    if (const auto entry = state->find("listening"); entry != state->end() && entry->second.get<bool>()) {
        listening_ = *entry->second.get<bool>();
    }
    if (const auto entry = state->find("clockRunning"); entry != state->end() && entry->second.get<bool>()) {
        clockRunning_ = *entry->second.get<bool>();
    }
    if (const auto entry = state->find("elapsed"); entry != state->end()) {
        const auto* text = entry->second.get<std::string>();
        elapsed_ = text ? std::optional(*text) : std::nullopt;
    }
    refreshStatusItemAppearance();
}

void StatusBarController::refreshStatusItemAppearance() {
    auto* button = statusItem_->button();
    if (button == nullptr) {
        return;
    }
    button->image = desktop::SymbolImage{
        .symbolName = "mic", .accessibilityDescription = listening_ ? "Mirvo listening" : "Mirvo", .isTemplate = true};
    button->contentTintColor.reset();
    button->toolTip = listening_ ? listeningToolTip : "Mirvo";
    const bool showsClock = clockRunning_ && elapsed_ && !elapsed_->empty();
    button->title = showsClock ? " " + *elapsed_ : "";
    statusItem_->setLength(showsClock ? desktop::StatusItem::variableLength : desktop::StatusItem::squareLength);
    clockMenuItem_->title = clockRunning_ ? "Clock out" : "Clock in";
}

void StatusBarController::statusItemActivated() {
    const auto event = services_.application ? services_.application->currentEvent() : std::nullopt;
    if (event && (event->type == desktop::ApplicationEventType::rightMouseUp || event->controlKeyHeld)) {
        showContextMenu();
    } else {
        togglePanel();
    }
}

void StatusBarController::togglePanel() {
    const auto panel = panelWindow();
    if (!panel) {
        return;
    }
    if (panel->isVisible()) {
        panel->orderOut();
    } else {
        showPanel(*panel);
    }
}

void StatusBarController::showPanel(desktop::Window& panel) {
    positionPanelNearStatusItem(panel);
    services_.application->activateIgnoringOtherApps();
    panel.makeKeyAndOrderFront();
}

void StatusBarController::showContextMenu() {
    statusItem_->setMenu(contextMenu_);
    statusItem_->performClick();
    mainQueue().async([item = statusItem_] { item->setMenu(nullptr); });
}

void StatusBarController::positionPanelNearStatusItem(desktop::Window& panel) {
    const auto* button = statusItem_->button();
    if (button == nullptr || !button->frameOnScreen) {
        return;
    }
    panel.setFrameOrigin(panelOrigin(*button->frameOnScreen, panel.frame().size, button->screenVisibleFrame));
}

void StatusBarController::dictateMenuAction() { emitNow({{"type", "dictate"}}); }

void StatusBarController::clockMenuAction() { emitNow({{"type", "clock"}}); }

void StatusBarController::openWebMenuAction() { emitNow({{"type", "openWeb"}}); }

void StatusBarController::quitMenuAction() {
    if (services_.application) {
        services_.application->terminate();
    }
}

std::shared_ptr<desktop::Window> StatusBarController::panelWindow() const {
    if (!services_.application) {
        return nullptr;
    }
    for (const auto& window : services_.application->windows()) {
        if (dynamic_cast<MainWindow*>(window.get()) ||
            std::dynamic_pointer_cast<ui::EngineViewController>(window->contentViewController())) {
            return window;
        }
    }
    return nullptr;
}

} // namespace mirvo
