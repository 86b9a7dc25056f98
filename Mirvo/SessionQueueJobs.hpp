#pragma once

#include "platform/core/SerialQueue.hpp"
#include "platform/ui/MethodResult.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace mirvo {

// Runs `job` on `queue` if the plug-in is still there and answers the call with its reply; `whenGone` answers
// when the plug-in has gone meanwhile, and nothing answers when that is absent. The reply is given after the
// job has let go of the plug-in, so whoever waits for it may drop the plug-in at once without a queue thread
// holding it still.
template <class Plugin>
void answerFromSessionQueue(platform::core::SerialQueue& queue, std::weak_ptr<Plugin> plugin,
                            const platform::ui::MethodResult& result,
                            std::function<platform::ui::MethodReply(Plugin& plugin)> job,
                            std::optional<platform::ui::MethodReply> whenGone) {
    queue.async([plugin = std::move(plugin), result, job = std::move(job), whenGone = std::move(whenGone)] {
        std::optional<platform::ui::MethodReply> reply = whenGone;
        if (auto self = plugin.lock()) {
            reply = job(*self);
        }
        if (reply) {
            result.reply(std::move(*reply));
        }
    });
}

// Lets a plug-in's destructor give up its session queue. When a job of that very queue dropped the last
// reference, the queue cannot wait for its own thread, so another thread lets it finish.
void releaseSessionQueue(std::unique_ptr<platform::core::SerialQueue> queue);

} // namespace mirvo
