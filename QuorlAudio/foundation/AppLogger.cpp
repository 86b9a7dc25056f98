#include "QuorlAudio/foundation/AppLogger.hpp"

#include "platform/sys/StandardError.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <mutex>

namespace quorl {

namespace {

using platform::sys::LogType;

std::mutex defaultSubsystemMutex;
std::string defaultSubsystemValue = "ver.aduzodozururar";

LogType logType(AppLogger::Level level) {
    switch (level) {
    case AppLogger::Level::debug: return LogType::debug;
    case AppLogger::Level::info: return LogType::info;
    case AppLogger::Level::notice: return LogType::defaultType;
    case AppLogger::Level::warning:
    case AppLogger::Level::error: return LogType::error;
    case AppLogger::Level::fault: return LogType::fault;
    }
    return LogType::defaultType;
}

bool mirroredToStandardError(AppLogger::Level level) { return level >= AppLogger::Level::warning; }

// "HH:mm:ss.SSS" in the local time zone.
std::string localTimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds));
    return text;
}

void logToConsoleSynchronously(AppLogger::Level level, const std::string& category, const std::string& message) {
    std::string line;
    line.reserve(40 + category.size() + message.size());
    line.append("[").append(localTimeOfDay()).append("] [").append(description(level)).append("] [QuorlAudio.");
    line.append(category).append("] ").append(message).append("\n");
    try {
        platform::sys::StandardError::write(line);
    } catch (const std::exception& failure) {
        std::printf("Failed to write to stderr: %s\n", failure.what());
    }
}

} // namespace

std::string AppLogger::defaultSubsystem() {
    std::lock_guard lock(defaultSubsystemMutex);
    return defaultSubsystemValue;
}

void AppLogger::setDefaultSubsystem(std::string subsystem) {
    std::lock_guard lock(defaultSubsystemMutex);
    defaultSubsystemValue = std::move(subsystem);
}

AppLogger::AppLogger(std::string category) : AppLogger(defaultSubsystem(), std::move(category)) {}

AppLogger::AppLogger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void AppLogger::log(Level level, const std::string& message) const {
    const LogType type = logType(level);
    const auto sink = platform::sys::UnifiedLog::sink();
    if (sink->isEnabled(type)) {
        sink->write(platform::sys::LogRecord{subsystem_, category_, type, message});
    }
    if (mirroredToStandardError(level)) {
        logToConsoleSynchronously(level, category_, message);
    }
}

int rawValue(AppLogger::Level level) { return static_cast<int>(level); }

std::optional<AppLogger::Level> levelFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 5) {
        return std::nullopt;
    }
    return static_cast<AppLogger::Level>(rawValue);
}

const char* description(AppLogger::Level level) {
    switch (level) {
    case AppLogger::Level::debug: return "DEBUG";
    case AppLogger::Level::info: return "INFO";
    case AppLogger::Level::notice: return "NOTICE";
    case AppLogger::Level::warning: return "WARN";
    case AppLogger::Level::error: return "ERROR";
    case AppLogger::Level::fault: return "FAULT";
    }
    return "NOTICE";
}

} // namespace quorl
