#include "platform/desktop/X11KeyWatcher.hpp"

#include "platform/desktop/KeyEventRouter.hpp"
#include "platform/desktop/X11Errors.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <utility>

namespace platform::desktop {

namespace {

// Longer than this and the taps are taken to be stuck: the keyboard must not stay frozen.
constexpr auto decisionTimeout = std::chrono::seconds(1);
// Decisions on raw events whose grabbed twin never came (the key was not grabbed) are forgotten this late.
constexpr unsigned long forgetAfterMilliseconds = 10000;

} // namespace

// The taps' answers, shared with the jobs that carry events through them, which may outlive the watcher.
struct X11KeyWatcher::Decisions {
    Decisions() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Decisions() { ::close(wake); }

    void notify() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake, &one, sizeof one);
    }

    void drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(wake, &count, sizeof count);
    }

    std::mutex mutex;
    // Empty while the taps are deciding; then whether the event passed them.
    std::map<EventId, std::optional<bool>> answers;
    const int wake;
};

const std::vector<X11KeyWatcher::WatchedKey>& X11KeyWatcher::watchedKeys() {
    static const std::vector<WatchedKey> keys{
        {.xkbName = "SPCE", .virtualKey = 49, .modifierFlag = 0},
        {.xkbName = "FK13", .virtualKey = 105, .modifierFlag = 0},
        {.xkbName = "RCTL", .virtualKey = 63, .modifierFlag = EventFlags::maskSecondaryFn},
        {.xkbName = "RALT", .virtualKey = 61, .modifierFlag = EventFlags::maskAlternate},
        {.xkbName = "RWIN", .virtualKey = 54, .modifierFlag = EventFlags::maskCommand},
    };
    return keys;
}

X11KeyWatcher::X11KeyWatcher(_XDisplay* display, std::shared_ptr<KeyEventRouter> router)
    : display_(display), router_(std::move(router)), decisions_(std::make_shared<Decisions>()) {
    int event = 0;
    int error = 0;
    XQueryExtension(display_, "XInputExtension", &xiOpcode_, &event, &error);
    findWatchedKeys();
    grabsAccepted_ = tryGrabs();

    XIEventMask mask{};
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XSync(display_, False);
    thread_ = std::thread([this] { run(); });
}

X11KeyWatcher::~X11KeyWatcher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    decisions_->notify();
    thread_.join();
    XCloseDisplay(display_);
}

void X11KeyWatcher::updateGrabs() {
    std::unique_lock lock(mutex_);
    const auto request = ++grabRequests_;
    decisions_->notify();
    if (thread_.get_id() == std::this_thread::get_id()) {
        return;
    }
    grabsApplied_.wait_for(lock, std::chrono::seconds(2), [&] { return grabsDone_ >= request || stopping_; });
}

void X11KeyWatcher::findWatchedKeys() {
    XkbDescPtr keyboard = XkbGetMap(display_, 0, XkbUseCoreKbd);
    if (!keyboard) {
        return;
    }
    if (XkbGetNames(display_, XkbKeyNamesMask, keyboard) == Success && keyboard->names && keyboard->names->keys) {
        for (int keycode = keyboard->min_key_code; keycode <= keyboard->max_key_code; ++keycode) {
            const char* name = keyboard->names->keys[keycode].name;
            const std::string_view keyName(name, ::strnlen(name, XkbKeyNameLength));
            for (const WatchedKey& key : watchedKeys()) {
                if (keyName == key.xkbName) {
                    keys_.emplace(keycode, key);
                }
            }
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
}

bool X11KeyWatcher::tryGrabs() {
    const X11ErrorTrap trap;
    const Window root = DefaultRootWindow(display_);
    for (const auto& [keycode, key] : keys_) {
        XGrabKey(display_, keycode, AnyModifier, root, False, GrabModeAsync, GrabModeSync);
    }
    const bool accepted = trap.sync(display_) == 0;
    for (const auto& [keycode, key] : keys_) {
        XUngrabKey(display_, keycode, AnyModifier, root);
    }
    trap.sync(display_);
    return accepted;
}

void X11KeyWatcher::run() {
    const pollfd watched[] = {{.fd = ConnectionNumber(display_), .events = POLLIN, .revents = 0},
                              {.fd = decisions_->wake, .events = POLLIN, .revents = 0}};
    for (;;) {
        decisions_->drain();
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        applyGrabs();
        dispatchPending();
        settleFrozen();
        // Sending a request can read incoming events into Xlib's queue, where the socket no longer shows them:
        // sleeping on the socket then would leave a reported key, and with it the frozen keyboard, unanswered.
        // XPending flushes and takes in everything that has come, so the socket is empty when it says none.
        if (XPending(display_) > 0) {
            continue;
        }
        pollfd ready[2] = {watched[0], watched[1]};
        ::poll(ready, 2, pollTimeoutMilliseconds());
    }
    if (frozen_) {
        allow(true);
    }
    for (const int keycode : std::exchange(grabbed_, {})) {
        XUngrabKey(display_, keycode, AnyModifier, DefaultRootWindow(display_));
    }
    XSync(display_, False);
}

void X11KeyWatcher::applyGrabs() {
    std::uint64_t requests = 0;
    {
        std::lock_guard lock(mutex_);
        requests = grabRequests_;
        if (requests == grabsDone_) {
            return;
        }
    }
    const std::set<int> wanted = wantedGrabs();
    if (wanted != grabbed_) {
        const X11ErrorTrap trap;
        const Window root = DefaultRootWindow(display_);
        for (const int keycode : grabbed_) {
            if (!wanted.contains(keycode)) {
                XUngrabKey(display_, keycode, AnyModifier, root);
            }
        }
        for (const int keycode : wanted) {
            if (!grabbed_.contains(keycode)) {
                XGrabKey(display_, keycode, AnyModifier, root, False, GrabModeAsync, GrabModeSync);
            }
        }
        if (trap.sync(display_) != 0) {
            sys::systemLog("Keyboard session: another client holds a grab of a hotkey key; it reaches "
                           "applications unfiltered");
        }
        grabbed_ = wanted;
    }
    if (wanted.empty() && frozen_) {
        allow(true);
    }
    std::lock_guard lock(mutex_);
    grabsDone_ = requests;
    grabsApplied_.notify_all();
}

std::set<int> X11KeyWatcher::wantedGrabs() const {
    const auto withheld = router_->withheldKeys();
    std::set<int> keycodes;
    for (const auto& [keycode, key] : keys_) {
        if (!withheld || withheld->contains(key.virtualKey)) {
            keycodes.insert(keycode);
        }
    }
    return keycodes;
}

void X11KeyWatcher::dispatchPending() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == KeyPress || event.type == KeyRelease) {
            onGrabbedKey({.time = event.xkey.time,
                          .keycode = static_cast<int>(event.xkey.keycode),
                          .press = event.type == KeyPress});
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_ || !XGetEventData(display_, cookie)) {
            continue;
        }
        if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            onRawKey({.time = raw->time, .keycode = raw->detail, .press = cookie->evtype == XI_RawKeyPress});
        }
        XFreeEventData(display_, cookie);
    }
}

void X11KeyWatcher::onRawKey(const EventId& id) {
    if (!keys_.contains(id.keycode) || routedFromGrab_.erase(id) > 0) {
        return;
    }
    route(id);
}

void X11KeyWatcher::onGrabbedKey(const EventId& id) {
    const bool endsGrab = grabKey_ == id.keycode && !id.press;
    if (!grabKey_) {
        grabKey_ = id.keycode;
    } else if (endsGrab) {
        grabKey_.reset();
    }
    if (!keys_.contains(id.keycode)) {
        allow(true);
        return;
    }
    routeFromGrab(id);
    // The release of the key that started the grab ends it without freezing the keyboard: there is nothing to
    // answer, and an answer sent anyway could thaw a grab that starts after it.
    if (!endsGrab) {
        frozen_ = Frozen{.id = id, .deadline = std::chrono::steady_clock::now() + decisionTimeout};
    }
}

void X11KeyWatcher::routeFromGrab(const EventId& id) {
    {
        std::lock_guard lock(decisions_->mutex);
        if (decisions_->answers.contains(id)) {
            return;
        }
    }
    // The server sends no raw events to the client that holds the keyboard grab, so the events reported to
    // the grab go through the taps from here; a server that still sends their raw twins has them skipped.
    std::erase_if(routedFromGrab_, [&](const EventId& old) { return old.time + forgetAfterMilliseconds < id.time; });
    routedFromGrab_.insert(id);
    route(id);
}

void X11KeyWatcher::route(const EventId& id) {
    const WatchedKey& key = keys_.at(id.keycode);
    const bool wasHeld = held_.contains(id.keycode);
    if (id.press) {
        held_.insert(id.keycode);
    } else {
        held_.erase(id.keycode);
    }
    if (key.modifierFlag != 0 && id.press && wasHeld) {
        // A held modifier changes nothing: nothing for the taps to decide.
        std::lock_guard lock(decisions_->mutex);
        decisions_->answers[id] = true;
        return;
    }
    KeyEvent event{.type = key.modifierFlag != 0 ? EventType::flagsChanged
                           : id.press            ? EventType::keyDown
                                                 : EventType::keyUp,
                   .keyCode = key.virtualKey,
                   .flags = heldFlags(),
                   .isAutoRepeat = id.press && wasHeld,
                   .unicodeString = {}};
    {
        std::lock_guard lock(decisions_->mutex);
        auto& answers = decisions_->answers;
        std::erase_if(answers,
                      [&](const auto& answer) { return answer.first.time + forgetAfterMilliseconds < id.time; });
        answers[id] = std::nullopt;
    }
    router_->route(std::move(event), [decisions = decisions_, id](std::optional<KeyEvent> passed) {
        {
            std::lock_guard lock(decisions->mutex);
            if (const auto answer = decisions->answers.find(id); answer != decisions->answers.end()) {
                answer->second = passed.has_value();
            }
        }
        decisions->notify();
    });
}

void X11KeyWatcher::settleFrozen() {
    if (!frozen_) {
        return;
    }
    std::optional<bool> passed;
    {
        std::lock_guard lock(decisions_->mutex);
        if (const auto answer = decisions_->answers.find(frozen_->id); answer != decisions_->answers.end()) {
            passed = answer->second;
            if (passed) {
                decisions_->answers.erase(answer);
            }
        }
    }
    if (passed) {
        allow(*passed);
        return;
    }
    if (std::chrono::steady_clock::now() >= frozen_->deadline) {
        allow(true);
        sys::systemLog("Keyboard session: the event taps did not answer in time; disabling them");
        router_->disableTaps(EventType::tapDisabledByTimeout);
    }
}

void X11KeyWatcher::allow(bool replay) {
    // A replay hands the event to the focused window as if there were no grab, which ends the grab; a kept event
    // leaves it on, and the next key event is reported to it with the keyboard frozen again.
    XAllowEvents(display_, replay ? ReplayKeyboard : SyncKeyboard, CurrentTime);
    if (replay) {
        grabKey_.reset();
    }
    frozen_.reset();
}

std::uint64_t X11KeyWatcher::heldFlags() const {
    std::uint64_t flags = 0;
    for (const int keycode : held_) {
        flags |= keys_.at(keycode).modifierFlag;
    }
    return flags;
}

int X11KeyWatcher::pollTimeoutMilliseconds() const {
    if (!frozen_) {
        return -1;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(frozen_->deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

} // namespace platform::desktop
