#include "platform/desktop/RunLoopSource.hpp"

namespace platform::desktop {

void RunLoopSource::addTo(core::MainQueue& queue) { queue_ = &queue; }

void RunLoopSource::remove() { queue_ = nullptr; }

core::MainQueue* RunLoopSource::queue() const { return queue_; }

} // namespace platform::desktop
