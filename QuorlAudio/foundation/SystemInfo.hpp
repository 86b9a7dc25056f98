#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorl {

class AppLogger;

// A one-line description of the host, and the process's memory use.
class SystemInfo {
public:
    // "<OS> <version>, arch=<machine>, chip=<processor>, cores=<active>/<all>, mem=<memory>, rosetta=false".
    static std::string summary();

    static std::optional<std::uint64_t> currentResidentMemoryBytes();
    static std::optional<std::uint64_t> peakResidentMemoryBytes();

    // Logs "Host environment: " and the summary at info level, once per process.
    static void logOnce(const AppLogger& logger);

    // A byte count in the memory style: powers of 1024, e.g. "16 GB", "1.5 MB", "512 bytes".
    static std::string formatMemory(std::uint64_t bytes);

    // The chip field: the processor's brand, else the hardware model, else "UnknownChip".
    static std::string chipName(const std::optional<std::string>& processorBrand,
                                const std::optional<std::string>& hardwareModel);
};

} // namespace quorl
