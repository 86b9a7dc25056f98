#pragma once

#include <string>

namespace quorl {

class AppLogger;

// Writes "[Profiling] <message>" as one line to standard error, so stage timings show up without a log
// viewer. A failed write is logged at warning level on `failureLogger` and goes no further.
void emitProfileLog(const std::string& message, const AppLogger& failureLogger);

} // namespace quorl
