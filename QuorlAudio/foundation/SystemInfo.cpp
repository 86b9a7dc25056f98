#include "QuorlAudio/foundation/SystemInfo.hpp"

#include "QuorlAudio/foundation/SystemInfoReporter.hpp"
#include "platform/sys/SystemFacts.hpp"

#include <array>
#include <cstdio>

namespace quorl {

using platform::sys::SystemFacts;

std::string SystemInfo::summary() {
    return SystemFacts::operatingSystemName() + " " + SystemFacts::operatingSystemVersion() +
           ", arch=" + SystemFacts::architecture() +
           ", chip=" + chipName(SystemFacts::processorBrand(), SystemFacts::hardwareModel()) +
           ", cores=" + std::to_string(SystemFacts::activeProcessorCount()) + "/" +
           std::to_string(SystemFacts::processorCount()) + ", mem=" + formatMemory(SystemFacts::physicalMemoryBytes()) +
           // No translation layer runs x86 code on Linux the way the field means.
           ", rosetta=false";
}

std::optional<std::uint64_t> SystemInfo::currentResidentMemoryBytes() { return SystemFacts::residentMemoryBytes(); }

std::optional<std::uint64_t> SystemInfo::peakResidentMemoryBytes() { return SystemFacts::peakResidentMemoryBytes(); }

void SystemInfo::logOnce(const AppLogger& logger) { SystemInfoReporter::shared().logIfNeeded(logger); }

std::string SystemInfo::chipName(const std::optional<std::string>& processorBrand,
                                 const std::optional<std::string>& hardwareModel) {
    if (processorBrand && !processorBrand->empty()) {
        return *processorBrand;
    }
    if (hardwareModel && !hardwareModel->empty()) {
        return *hardwareModel;
    }
    return "UnknownChip";
}

std::string SystemInfo::formatMemory(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    // Kilobytes are whole; megabytes carry one decimal; larger units two. Trailing zeros are dropped.
    const int decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string number = text;
    if (number.find('.') != std::string::npos) {
        number.erase(number.find_last_not_of('0') + 1);
        if (number.back() == '.') {
            number.pop_back();
        }
    }
    return number + " " + units[unit];
}

} // namespace quorl
