#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::sys {

// Facts about the machine and this process, from uname, sysconf and /proc. Each optional fact is absent
// when its source cannot be read.
class SystemFacts {
public:
    static std::string operatingSystemName();           // uname's system name, e.g. "Linux"
    static std::string operatingSystemVersion();        // kernel release, then the distribution's name in parentheses
    static std::string architecture();                  // uname's machine, e.g. "x86_64"
    static std::optional<std::string> processorBrand(); // the first "model name" of /proc/cpuinfo
    static std::optional<std::string> hardwareModel();  // the firmware's product name
    static long activeProcessorCount();
    static long processorCount();
    static std::uint64_t physicalMemoryBytes();
    static std::optional<std::uint64_t> residentMemoryBytes();
    static std::optional<std::uint64_t> peakResidentMemoryBytes();
};

} // namespace platform::sys
