#include "platform/desktop/ApplicationMain.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/UnifiedLog.hpp"

namespace platform::desktop {

namespace {

// Without a record the application still runs; it just cannot be found by a later copy.
void recordLaunch(Application& application, Workspace& workspace) {
    const Bundle& bundle = application.mainBundle();
    if (!bundle.bundleIdentifier) {
        return;
    }
    try {
        workspace.registerLaunch(*bundle.bundleIdentifier, [&application] {
            application.mainQueue().async([&application] { application.activate(); });
        });
    } catch (const core::SystemError& error) {
        sys::systemLog(core::concatenated({bundle.name, ": cannot record this copy as running: ", error.what()}));
    }
}

} // namespace

int applicationMain(Application& application, Workspace& workspace, const InterfaceDescription& description) {
    recordLaunch(application, workspace);
    application.setDelegate(description.makeDelegate(application));
    auto window = description.makeMainWindow(application, description.mainWindowFrame);
    application.addWindow(window);
    window->awakeFromNib();
    application.finishLaunching();
    application.run();
    return 0;
}

} // namespace platform::desktop
