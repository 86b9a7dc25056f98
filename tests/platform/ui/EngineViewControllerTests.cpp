#include "platform/core/MainQueue.hpp"
#include "platform/ui/EngineViewController.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::core::MainQueue;
using platform::ui::EngineViewController;

TEST(EngineViewController, RegistrarsHandOutItsMessengerAndRecordTheNamesInOrder) {
    MainQueue queue;
    EngineViewController controller(queue);
    const auto first = controller.registrar("ParakeetPlugin");
    const auto second = controller.registrar("GlobalHotkeyTap");

    EXPECT_EQ(&first->messenger(), &controller.messenger());
    EXPECT_EQ(&second->messenger(), &controller.messenger());
    EXPECT_EQ(&controller.messenger().mainQueue(), &queue);
    EXPECT_EQ(controller.registeredPluginNames(), (std::vector<std::string>{"ParakeetPlugin", "GlobalHotkeyTap"}));
}

} // namespace
