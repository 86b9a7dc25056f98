#pragma once

#include "Mirvo/AnalyticsHangGuard.hpp"
#include "Mirvo/PluginRegistry.hpp"

#include "platform/desktop/Application.hpp"
#include "platform/desktop/ApplicationDelegate.hpp"
#include "platform/desktop/Backend.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/RunningApplication.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/desktop/emulatedruntime/EmulatedClassRegistry.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace mirvo {

// Brings the host into its running state at launch: hands over to a copy that already runs, configures
// the backend's keychain group once the backend is ready, and registers the native plug-ins once the
// engine's view controller exists, polling every 10 ms for up to 3000 tries for either. Used on the main
// queue only; must be owned by a std::shared_ptr, since what it schedules holds it weakly.
class AppDelegate final : public platform::desktop::ApplicationDelegate,
                          public std::enable_shared_from_this<AppDelegate> {
public:
    // What the delegate talks to; the process owns each and keeps it for the delegate's lifetime.
    struct Environment {
        platform::desktop::Application& application;
        platform::desktop::Workspace& workspace;
        platform::desktop::Backend& backend;
        platform::desktop::EmulatedClassRegistry& classRegistry;
        // Where the native plug-ins live once registered.
        PluginRegistry& plugins;
    };

    explicit AppDelegate(Environment environment);

    void applicationWillFinishLaunching(const platform::desktop::Notification& notification) override;
    void applicationDidFinishLaunching(const platform::desktop::Notification& notification) override;
    // Closing the last window leaves the process running.
    bool applicationShouldTerminateAfterLastWindowClosed(platform::desktop::Application& sender) override;
    bool applicationSupportsSecureRestorableState(platform::desktop::Application& sender) override;

    // Another running copy of this application (the first listed that is not this process), or null.
    std::shared_ptr<platform::desktop::RunningApplication> alreadyRunningInstance() const;

    void configureKeychainOnce();
    void pollForBackend();
    void registerNativePlugins();
    void pollForDictation();

    bool keychainConfigured() const { return keychainConfigured_; }
    std::int64_t pollAttempts() const { return pollAttempts_; }
    std::int64_t dictationPollAttempts() const { return dictationPollAttempts_; }
    const std::set<std::string>& registeredPlugins() const { return registeredPlugins_; }
    const AnalyticsHangGuard& hangGuard() const { return hangGuard_; }

private:
    // Runs `step` on the delegate from the main queue after `delay`, unless the delegate is gone by then.
    void schedule(void (AppDelegate::*step)(), std::chrono::nanoseconds delay);
    bool allPluginsRegistered() const;

    Environment environment_;
    AnalyticsHangGuard hangGuard_;
    bool keychainConfigured_ = false;
    std::int64_t pollAttempts_ = 0;
    std::int64_t dictationPollAttempts_ = 0;
    std::set<std::string> registeredPlugins_;
};

} // namespace mirvo
