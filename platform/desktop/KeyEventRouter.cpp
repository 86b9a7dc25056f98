#include "platform/desktop/KeyEventRouter.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/desktop/TapState.hpp"
#include "platform/sys/FileDescriptor.hpp"
#include "platform/sys/FileDescriptorIO.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "platform/text/Utf16.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <ranges>
#include <span>
#include <string>
#include <utility>

namespace platform::desktop {

KeyEventRouter::KeyEventRouter(std::optional<std::filesystem::path> typedTextFile)
    : typedTextFile_(std::move(typedTextFile)) {}

void KeyEventRouter::add(std::shared_ptr<TapState> tap) {
    std::lock_guard lock(mutex_);
    taps_.push_back(Entry{.serial = nextSerial_++, .tap = std::move(tap)});
}

void KeyEventRouter::remove(const TapState& tap) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(taps_, [&](const Entry& entry) { return entry.tap.get() == &tap; });
    }
    tapsChanged();
}

void KeyEventRouter::route(KeyEvent event) {
    routeBelow(std::move(event), std::numeric_limits<std::uint64_t>::max(), {});
}

void KeyEventRouter::route(KeyEvent event, Settled settled) {
    routeBelow(std::move(event), std::numeric_limits<std::uint64_t>::max(), std::move(settled));
}

void KeyEventRouter::onTapsChanged(std::function<void()> observer) { tapsObserver_ = std::move(observer); }

void KeyEventRouter::tapsChanged() const {
    if (tapsObserver_) {
        tapsObserver_();
    }
}

std::optional<std::set<std::uint16_t>> KeyEventRouter::withheldKeys() const {
    std::lock_guard lock(mutex_);
    std::set<std::uint16_t> keys;
    for (const Entry& entry : taps_) {
        if (entry.tap->eventQueue() == nullptr) {
            continue;
        }
        const auto tapKeys = entry.tap->withheldKeys();
        if (!tapKeys) {
            return std::nullopt;
        }
        keys.insert(tapKeys->begin(), tapKeys->end());
    }
    return keys;
}

void KeyEventRouter::routeBelow(KeyEvent event, std::uint64_t below, Settled settled) {
    std::unique_lock lock(mutex_);
    for (const Entry& entry : taps_ | std::views::reverse) {
        if (entry.serial >= below) {
            continue;
        }
        if (core::MainQueue* queue = entry.tap->eventQueue()) {
            queue->async([router = shared_from_this(), tap = entry.tap, serial = entry.serial, event = std::move(event),
                          settled = std::move(settled)] {
                if (auto passed = tap->handle(event)) {
                    router->routeBelow(std::move(*passed), serial, settled);
                } else if (settled) {
                    settled(std::nullopt);
                }
            });
            return;
        }
    }
    if (!settled) {
        receive(std::move(event));
        return;
    }
    lock.unlock();
    settled(std::move(event));
}

void KeyEventRouter::disableTaps(EventType reason) {
    std::vector<std::shared_ptr<TapState>> disabled;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : taps_ | std::views::reverse) {
            if (entry.tap->isEnabled()) {
                disabled.push_back(entry.tap);
            }
        }
    }
    // Outside the lock: disabling tells the observer, which may ask which taps are enabled.
    for (const auto& tap : disabled) {
        tap->enable(false);
    }
    const KeyEvent notice{.type = reason, .keyCode = 0, .flags = 0, .isAutoRepeat = false, .unicodeString = {}};
    for (const auto& tap : disabled) {
        if (core::MainQueue* queue = tap->sourceQueue()) {
            queue->async([tap, notice] { tap->notify(notice); });
        }
    }
}

void KeyEventRouter::deliver(KeyEvent event) {
    std::lock_guard lock(mutex_);
    receive(std::move(event));
}

std::vector<KeyEvent> KeyEventRouter::receivedEvents() const {
    std::lock_guard lock(mutex_);
    return receivedEvents_;
}

void KeyEventRouter::receive(KeyEvent event) {
    if (typedTextFile_ && event.type == EventType::keyDown && !event.unicodeString.empty()) {
        appendTypedText(event.unicodeString);
    }
    receivedEvents_.push_back(std::move(event));
}

// Opened and closed for every event, so a reader sees each keystroke as soon as it is typed. Private to the
// user: it holds whatever was typed.
void KeyEventRouter::appendTypedText(const std::u16string& units) const {
    const std::string utf8 = text::utf8Of(units);
    const sys::FileDescriptor file(::open(typedTextFile_->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!file.isOpen() || !sys::writeAll(file.get(), std::as_bytes(std::span(utf8)))) {
        sys::systemLog(core::concatenated(
            {"Keyboard session: cannot append typed text to ", typedTextFile_->string(), ": ", std::strerror(errno)}));
    }
}

} // namespace platform::desktop
