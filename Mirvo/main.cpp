#include "Mirvo/AppDelegate.hpp"
#include "Mirvo/HostLog.hpp"
#include "Mirvo/MainWindow.hpp"
#include "Mirvo/PluginRegistry.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/ApplicationMain.hpp"
#include "platform/desktop/Backend.hpp"
#include "platform/desktop/LockFileWorkspace.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/RuntimeFolder.hpp"
#include "platform/desktop/emulatedruntime/EmulatedClassRegistry.hpp"
#include "platform/ui/EngineViewController.hpp"
#include "platform/ui/SocketBridge.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
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

// SIGINT and SIGTERM end the host the ordinary way: the application terminates from its run loop. They are
// blocked in the main thread before any thread of ours starts, so none of ours is interrupted by them. Libraries
// may start threads before main, though (the threaded BLAS does), and those leave them unblocked; so instead of
// waiting for the signals in one thread, a handler, run by whichever thread the kernel picks, writes each into a
// pipe that the watcher reads.
class SignalPipe {
public:
    SignalPipe() {
        if (::pipe2(ends_, O_CLOEXEC) != 0) {
            throw platform::core::SystemError::fromErrno(errno, "Cannot watch for signals");
        }
        // Nobody reads the pipe once the watcher has taken its one signal; a handler writing into a full pipe
        // must drop the signal rather than block the thread it interrupted.
        ::fcntl(ends_[1], F_SETFL, O_NONBLOCK);
        writeEnd_ = ends_[1];
        struct sigaction action {};
        action.sa_handler = forward;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        pthread_sigmask(SIG_BLOCK, &handled(), nullptr);
    }

    // Signals that come later are dropped.
    ~SignalPipe() {
        writeEnd_ = -1;
        ::close(ends_[0]);
        ::close(ends_[1]);
    }

    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    static const sigset_t& handled() {
        static const sigset_t signals = [] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigaddset(&set, SIGTERM);
            return set;
        }();
        return signals;
    }

    // The next signal written, or 0 once wake() was called.
    int next() const {
        unsigned char signal = 0;
        while (::read(ends_[0], &signal, 1) < 0 && errno == EINTR) {}
        return signal;
    }

    void wake() const {
        const unsigned char none = 0;
        while (::write(ends_[1], &none, 1) < 0 && errno == EINTR) {}
    }

private:
    // Only async-signal-safe calls here.
    static void forward(int signal) {
        const int savedErrno = errno;
        if (const int end = writeEnd_; end >= 0) {
            const auto byte = static_cast<unsigned char>(signal);
            [[maybe_unused]] const auto written = ::write(end, &byte, 1);
        }
        errno = savedErrno;
    }

    static inline std::atomic<int> writeEnd_ = -1;
    int ends_[2] = {-1, -1};
};

// Turns the first signal into a termination of the application. Its thread is the one thread of ours that
// accepts the signals, so one always finds a thread to run the handler. It ends with this object, however the
// host leaves.
class SignalWatcher {
public:
    SignalWatcher(desktop::Application& application, const SignalPipe& signals)
        : signals_(signals), thread_([this, &application] { watch(application); }) {}

    ~SignalWatcher() {
        signals_.wake();
        thread_.join();
    }

    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void watch(desktop::Application& application) const {
        pthread_sigmask(SIG_UNBLOCK, &SignalPipe::handled(), nullptr);
        const int signal = signals_.next();
        if (signal == 0) {
            return;
        }
        application.mainQueue().async([&application, signal] {
            mirvo::hostLog(concatenated({"received ", signal == SIGINT ? "SIGINT" : "SIGTERM", ", shutting down"}));
            application.terminate();
        });
    }

    const SignalPipe& signals_;
    std::thread thread_;
};

// The bridge and the plug-ins talk through the window's messenger, so they end before it does, also when
// start-up fails half-way: the bridge first, then the plug-ins, last registered first.
struct ChannelUsers {
    mirvo::PluginRegistry plugins;
    std::unique_ptr<platform::ui::SocketBridge> bridge;
};

std::filesystem::path bridgeSocketPath() {
    // $XDG_RUNTIME_DIR may be shared with other users, who must not be able to plant this folder.
    const auto folder = desktop::runtimeFolder() / "mirvo";
    desktop::requirePrivateFolder(folder);
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
                                            desktop::EmulatedClassRegistry& classRegistry,
                                            mirvo::PluginRegistry& plugins) {
    return desktop::InterfaceDescription{
        .makeMainWindow = makeMainWindow,
        .mainWindowFrame = mainWindowFrame,
        .makeDelegate =
            [&workspace, &backend, &classRegistry, &plugins](desktop::Application& application) {
                return std::make_shared<mirvo::AppDelegate>(mirvo::AppDelegate::Environment{
                    .application = application,
                    .workspace = workspace,
                    .backend = backend,
                    .classRegistry = classRegistry,
                    .plugins = plugins,
                });
            },
    };
}

int runHost(const SignalPipe& signals) {
    platform::core::MainQueue mainQueue;
    desktop::NotificationCenter notificationCenter(mainQueue);
    desktop::Application application(mainQueue, notificationCenter, mainBundle);
    // No backend or analytics library exists for this system: the backend is never configured and the
    // analytics class is never loaded.
    desktop::Backend backend(notificationCenter);
    desktop::EmulatedClassRegistry classRegistry;
    ChannelUsers channelUsers{.plugins = mirvo::PluginRegistry(&application), .bridge = nullptr};
    desktop::LockFileWorkspace workspace(desktop::runtimeFolder());

    notificationCenter.addObserver(std::string(desktop::Application::didFinishLaunchingNotification),
                                   [&channelUsers, &application](const desktop::Notification&) {
                                       channelUsers.bridge = startBridge(application);
                                   });
    const auto description = mainInterface(workspace, backend, classRegistry, channelUsers.plugins);

    const SignalWatcher signalWatcher(application, signals);
    return desktop::applicationMain(application, workspace, description);
}

} // namespace

int main() {
    mirvo::hostLog(concatenated({"starting (pid ", std::to_string(getpid()), ")"}));
    int status = 1;
    try {
        // Before any thread of ours starts, so that each inherits the blocked signals.
        const SignalPipe signals;
        status = runHost(signals);
    } catch (const platform::core::SystemError& error) {
        mirvo::hostLog(concatenated({"cannot start: ", error.what()}));
    }
    mirvo::hostLog("stopped");
    return status;
}
