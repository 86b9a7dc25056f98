#pragma once

#include "platform/desktop/Application.hpp"
#include "platform/desktop/InterfaceDescription.hpp"
#include "platform/desktop/Workspace.hpp"

namespace platform::desktop {

// Starts the application and runs it: records this copy with the workspace (a copy that comes forward on
// request), makes the delegate and the main window from the description, calls the window's awakeFromNib,
// finishes launching and runs the loop until the application terminates. Returns the process's exit code.
// The workspace may call back into the application until it is destroyed, so it must not outlive it.
int applicationMain(Application& application, Workspace& workspace, const InterfaceDescription& description);

} // namespace platform::desktop
