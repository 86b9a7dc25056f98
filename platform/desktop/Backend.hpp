#pragma once

#include "platform/core/SystemError.hpp"
#include "platform/desktop/NotificationCenter.hpp"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::desktop {

// The hosted backend's client library as the host sees it: a default application object that exists once
// the library is configured, a notification when it is ready, and the authentication part's keychain call.
// No such library exists for this system, so this stand-in keeps the state in memory: it is ready only
// when configure() is called, and its keychain call succeeds unless told to fail.
class Backend {
public:
    static constexpr std::string_view readyNotification = "BackendReadyToConfigure";

    explicit Backend(NotificationCenter& notificationCenter);
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    bool hasDefaultApp() const;
    // Creates the default application object, without telling anyone yet.
    void createDefaultApp();
    // Creates the default application object and posts the ready notification.
    void configure();

    // Shares keychain items through `group`, or through no group when absent. Throws the error set by
    // failUserAccessGroupWith.
    void useUserAccessGroup(const std::optional<std::string>& group);
    // Makes every later keychain call fail with `error`.
    void failUserAccessGroupWith(core::SystemError error);
    // The group of every keychain call, in order.
    std::vector<std::optional<std::string>> userAccessGroupCalls() const;

private:
    NotificationCenter& notificationCenter_;
    mutable std::mutex mutex_;
    bool hasDefaultApp_ = false;
    std::optional<core::SystemError> keychainFailure_;
    std::vector<std::optional<std::string>> userAccessGroupCalls_;
};

} // namespace platform::desktop
