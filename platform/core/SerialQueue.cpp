#include "platform/core/SerialQueue.hpp"

#include <pthread.h>

namespace platform::core {

SerialQueue::SerialQueue(const std::string& label) {
    // The first job runs before any other, so every job sees the thread recorded.
    async([this, name = label.substr(0, 15)] { // thread names are limited to 15 bytes
        threadId_ = std::this_thread::get_id();
        pthread_setname_np(pthread_self(), name.c_str());
    });
}

} // namespace platform::core
