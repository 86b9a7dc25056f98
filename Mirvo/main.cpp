#include "platform/core/MainQueue.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// Blocks SIGINT and SIGTERM in every thread and turns them into a stop of the main queue, so the host
// leaves its run loop the ordinary way.
std::thread stopOnSignal(platform::core::MainQueue& mainQueue, const sigset_t& signals) {
    return std::thread([&mainQueue, signals] {
        int signal = 0;
        sigwait(&signals, &signal);
        mainQueue.async([&mainQueue, signal] {
            platform::sys::systemLog(std::string("Mirvo: received ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                                     ", shutting down");
            mainQueue.stop();
        });
    });
}

} // namespace

int main() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    platform::core::MainQueue mainQueue;
    std::thread signalWatcher = stopOnSignal(mainQueue, signals);

    platform::sys::systemLog("Mirvo: starting (pid " + std::to_string(getpid()) + ")");
    mainQueue.async([] { platform::sys::systemLog("Mirvo: running"); });
    mainQueue.run();

    signalWatcher.join();
    platform::sys::systemLog("Mirvo: stopped");
    return 0;
}
