#pragma once

#include <optional>
#include <string>

namespace quorl {

// The toolkit's logger: one per component, named by its category. Every message goes to the unified log;
// warnings, errors and faults are also written at once to standard error as
// "[HH:mm:ss.SSS] [LEVEL] [QuorlAudio.<category>] <message>".
class AppLogger {
public:
    enum class Level { debug = 0, info = 1, notice = 2, warning = 3, error = 4, fault = 5 };

    // The subsystem of loggers made without one. Read when a logger is made, so a change affects only
    // loggers made afterwards.
    static std::string defaultSubsystem();
    static void setDefaultSubsystem(std::string subsystem);

    explicit AppLogger(std::string category);
    AppLogger(std::string subsystem, std::string category);

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    void debug(const std::string& message) const { log(Level::debug, message); }
    void info(const std::string& message) const { log(Level::info, message); }
    void notice(const std::string& message) const { log(Level::notice, message); }
    void warning(const std::string& message) const { log(Level::warning, message); }
    void error(const std::string& message) const { log(Level::error, message); }
    void fault(const std::string& message) const { log(Level::fault, message); }

private:
    void log(Level level, const std::string& message) const;

    std::string subsystem_;
    std::string category_;
};

int rawValue(AppLogger::Level level);
std::optional<AppLogger::Level> levelFromRawValue(int rawValue);
// The level's name in the standard-error line: "DEBUG", "INFO", "NOTICE", "WARN", "ERROR", "FAULT".
const char* description(AppLogger::Level level);

} // namespace quorl
