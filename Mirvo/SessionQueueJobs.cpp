#include "Mirvo/SessionQueueJobs.hpp"

#include "platform/core/ThreadPool.hpp"

namespace mirvo {

void releaseSessionQueue(std::unique_ptr<platform::core::SerialQueue> queue) {
    if (queue && queue->isCurrent()) {
        platform::core::ThreadPool::shared().submit(
            [released = std::shared_ptr<platform::core::SerialQueue>(std::move(queue))] {});
    }
}

} // namespace mirvo
