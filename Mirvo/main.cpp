#include "Mirvo/AppDelegate.hpp"
#include "Mirvo/HostLog.hpp"
#include "Mirvo/MainWindow.hpp"
#include "Mirvo/NativePlugins.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/ApplicationMain.hpp"
#include "platform/desktop/Backend.hpp"
#include "platform/desktop/ClassRegistry.hpp"
#include "platform/desktop/LockFileWorkspace.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/RuntimeFolder.hpp"
#include "platform/ui/EngineViewController.hpp"
#include "platform/ui/SocketBridge.hpp"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

namespace desktop = platform::desktop;
using platform::core::concatenated;

// What other systems read from the application's property list and main interface file.
const desktop::Bundle mainBundle{.bundleIdentifier = "com.mirvo.Mirvo", .name = "Mirvo"};
constexpr desktop::Rect mainWindowFrame{.origin = {.x = 240, .y = 160}, .size = {.width = 960, .height = 720}};

// Turns SIGINT and SIGTERM, blocked in every thread, into a termination of the application, so the host
// leaves its run loop the ordinary way. The watcher ends with this object, however the host leaves.
class SignalWatcher {
public:
    SignalWatcher(desktop::Application& application, const sigset_t& signals)
        : thread_([this, &application, signals] { watch(application, signals); }) {}

    ~SignalWatcher() {
        leaving_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }

    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    // Once `leaving_` is set, a signal only ends the watcher.
    void watch(desktop::Application& application, const sigset_t& signals) const {
        int signal = 0;
        sigwait(&signals, &signal);
        if (leaving_) {
            return;
        }
        application.mainQueue().async([&application, signal] {
            mirvo::hostLog(concatenated({"received ", signal == SIGINT ? "SIGINT" : "SIGTERM", ", shutting down"}));
            application.terminate();
        });
    }

    std::atomic<bool> leaving_ = false;
    std::thread thread_;
};

// The bridge and the plug-ins talk through the window's messenger, so they end before it does, also when
// start-up fails half-way.
struct ChannelUsers {
    ChannelUsers() = default;
    ChannelUsers(const ChannelUsers&) = delete;
    ChannelUsers& operator=(const ChannelUsers&) = delete;

    ~ChannelUsers() {
        bridge.reset();
        mirvo::releaseNativePlugins();
    }

    std::unique_ptr<platform::ui::SocketBridge> bridge;
};

std::filesystem::path bridgeSocketPath() {
    const auto folder = desktop::runtimeFolder() / "mirvo";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw platform::core::SystemError::fromErrno(errno, concatenated({"Cannot create ", folder.string()}));
    }
    return folder / "bridge.sock";
}

// The interface process reaches the host's channels through this socket. Only the copy that stays
// running opens it, so a copy that hands over never takes the socket from the first.
std::unique_ptr<platform::ui::SocketBridge> startBridge(const desktop::Application& application) {
    const auto& windows = application.windows();
    const auto engine =
        windows.empty()
            ? nullptr
            : std::dynamic_pointer_cast<platform::ui::EngineViewController>(windows.front()->contentViewController());
    if (!engine) {
        mirvo::hostLog("interface bridge not started: the main window has no engine");
        return nullptr;
    }
    try {
        auto bridge = std::make_unique<platform::ui::SocketBridge>(engine->messenger(), bridgeSocketPath());
        bridge->start();
        mirvo::hostLog(concatenated({"interface bridge listening on ", bridge->socketPath().string()}));
        return bridge;
    } catch (const platform::core::SystemError& error) {
        mirvo::hostLog(concatenated({"interface bridge not started: ", error.what()}));
        return nullptr;
    }
}

std::shared_ptr<desktop::Window> makeMainWindow(desktop::Application& application, desktop::Rect frame) {
    return std::make_shared<mirvo::MainWindow>(application, frame);
}

desktop::InterfaceDescription mainInterface(desktop::Workspace& workspace, desktop::Backend& backend,
                                            desktop::ClassRegistry& classRegistry) {
    return desktop::InterfaceDescription{
        .makeMainWindow = makeMainWindow,
        .mainWindowFrame = mainWindowFrame,
        .makeDelegate =
            [&workspace, &backend, &classRegistry](desktop::Application& application) {
                return std::make_shared<mirvo::AppDelegate>(mirvo::AppDelegate::Environment{
                    .application = application,
                    .workspace = workspace,
                    .backend = backend,
                    .classRegistry = classRegistry,
                });
            },
    };
}

int runHost(const sigset_t& signals) {
    platform::core::MainQueue mainQueue;
    desktop::NotificationCenter notificationCenter(mainQueue);
    desktop::Application application(mainQueue, notificationCenter, mainBundle);
    // No backend or analytics library exists for this system: the backend is never configured and the
    // analytics class is never loaded.
    desktop::Backend backend(notificationCenter);
    desktop::ClassRegistry classRegistry;
    ChannelUsers channelUsers;
    desktop::LockFileWorkspace workspace(desktop::runtimeFolder());

    notificationCenter.addObserver(
        std::string(desktop::Application::didFinishLaunchingNotification),
        [&channelUsers, &application](const desktop::Notification&) {
            channelUsers.bridge = startBridge(application);
        });
    const auto description = mainInterface(workspace, backend, classRegistry);

    const SignalWatcher signalWatcher(application, signals);
    return desktop::applicationMain(application, workspace, description);
}

} // namespace

int main() {
    // Blocked before any thread starts, so that every thread inherits the mask and only the watcher sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    mirvo::hostLog(concatenated({"starting (pid ", std::to_string(getpid()), ")"}));
    int status = 1;
    try {
        status = runHost(signals);
    } catch (const platform::core::SystemError& error) {
        mirvo::hostLog(concatenated({"cannot start: ", error.what()}));
    }
    mirvo::hostLog("stopped");
    return status;
}
