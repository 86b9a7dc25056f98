#include "Mirvo/AppDelegate.hpp"

#include "Mirvo/HostLog.hpp"
#include "Mirvo/NativePlugins.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/ui/EngineViewController.hpp"

#include <unistd.h>

#include <chrono>
#include <optional>
#include <vector>

namespace mirvo {

namespace {

using namespace std::chrono_literals;
namespace desktop = platform::desktop;
using platform::core::concatenated;

constexpr std::int64_t maximumPolls = 3000;
constexpr auto pollInterval = 10ms;

std::vector<std::shared_ptr<platform::ui::EngineViewController>>
engineViewControllers(const std::vector<std::shared_ptr<desktop::Window>>& windows) {
    std::vector<std::shared_ptr<platform::ui::EngineViewController>> controllers;
    for (const auto& window : windows) {
        if (auto controller =
                std::dynamic_pointer_cast<platform::ui::EngineViewController>(window->contentViewController())) {
            controllers.push_back(std::move(controller));
        }
    }
    return controllers;
}

} // namespace

AppDelegate::AppDelegate(Environment environment) : environment_(environment), hangGuard_(environment.classRegistry) {}

void AppDelegate::applicationWillFinishLaunching(const desktop::Notification& notification) {
    hangGuard_.install();
    ApplicationDelegate::applicationWillFinishLaunching(notification);
}

void AppDelegate::applicationDidFinishLaunching(const desktop::Notification&) {
    hangGuard_.install();
    if (const auto other = alreadyRunningInstance()) {
        hostLog(concatenated({"another instance is already running (pid ", std::to_string(other->processIdentifier()),
                              "); handing over"}));
        other->activate();
        environment_.application.terminate();
        return;
    }
    environment_.application.notificationCenter().addObserver(
        std::string(desktop::Backend::readyNotification), [weakSelf = weak_from_this()](const desktop::Notification&) {
            if (const auto self = weakSelf.lock()) {
                self->configureKeychainOnce();
            }
        });
    schedule(&AppDelegate::pollForBackend, 0ns);
    registerNativePlugins();
    if (!allPluginsRegistered()) {
        schedule(&AppDelegate::pollForDictation, 0ns);
    }
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(desktop::Application&) { return false; }

bool AppDelegate::applicationSupportsSecureRestorableState(desktop::Application&) { return true; }

std::shared_ptr<desktop::RunningApplication> AppDelegate::alreadyRunningInstance() const {
    const auto& bundleIdentifier = environment_.application.mainBundle().bundleIdentifier;
    if (!bundleIdentifier) {
        return nullptr;
    }
    for (auto& running : environment_.workspace.runningApplications(*bundleIdentifier)) {
        if (running->processIdentifier() != ::getpid()) {
            return running;
        }
    }
    return nullptr;
}

void AppDelegate::configureKeychainOnce() {
    if (keychainConfigured_ || !environment_.backend.hasDefaultApp()) {
        return;
    }
    keychainConfigured_ = true;
    try {
        environment_.backend.useUserAccessGroup(std::nullopt);
        hostLog("backend keychain access group configured: none");
    } catch (const platform::core::SystemError& error) {
        hostLog(concatenated(
            {"backend keychain access group call failed (", std::to_string(error.code()), "): ", error.what()}));
    }
}

void AppDelegate::pollForBackend() {
    if (keychainConfigured_) {
        return;
    }
    if (environment_.backend.hasDefaultApp()) {
        configureKeychainOnce();
        return;
    }
    if (++pollAttempts_ < maximumPolls) {
        schedule(&AppDelegate::pollForBackend, pollInterval);
        return;
    }
    hostLog(concatenated({"backend never configured after ", std::to_string(pollAttempts_),
                          " polls (~30s) — giving up; the auth keychain group stays at the backend default"}));
}

void AppDelegate::registerNativePlugins() {
    if (allPluginsRegistered()) {
        return;
    }
    const auto& windows = environment_.application.windows();
    const auto controllers = engineViewControllers(windows);
    if (controllers.empty()) {
        return;
    }
    for (const auto& plugin : nativePlugins) {
        const std::string name(plugin.name);
        if (registeredPlugins_.contains(name)) {
            continue;
        }
        environment_.plugins.add(plugin, controllers.front()->messenger());
        registeredPlugins_.insert(name);
        hostLog(concatenated({name, " registered (windows=", std::to_string(windows.size()), ")"}));
    }
}

void AppDelegate::pollForDictation() {
    if (allPluginsRegistered()) {
        return;
    }
    registerNativePlugins();
    if (allPluginsRegistered()) {
        return;
    }
    if (++dictationPollAttempts_ < maximumPolls) {
        schedule(&AppDelegate::pollForDictation, pollInterval);
        return;
    }
    hostLog("native plugins never registered after ~30s — giving up");
}

void AppDelegate::schedule(void (AppDelegate::*step)(), std::chrono::nanoseconds delay) {
    auto job = [weakSelf = weak_from_this(), step] {
        if (const auto self = weakSelf.lock()) {
            (self.get()->*step)();
        }
    };
    auto& mainQueue = environment_.application.mainQueue();
    if (delay == 0ns) {
        mainQueue.async(std::move(job));
    } else {
        mainQueue.asyncAfter(delay, std::move(job));
    }
}

bool AppDelegate::allPluginsRegistered() const { return registeredPlugins_.size() == nativePlugins.size(); }

} // namespace mirvo
