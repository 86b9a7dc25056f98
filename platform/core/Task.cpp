#include "platform/core/Task.hpp"

namespace platform::core {

namespace {
thread_local CancellationToken currentToken;
}

CancellationToken Task::current() { return currentToken; }

Task::Scope::Scope(CancellationToken token) : previous_(std::move(currentToken)) { currentToken = std::move(token); }

Task::Scope::~Scope() { currentToken = std::move(previous_); }

} // namespace platform::core
