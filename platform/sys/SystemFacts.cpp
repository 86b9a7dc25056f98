#include "platform/sys/SystemFacts.hpp"

#include <sys/utsname.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <string_view>

namespace platform::sys {

namespace {

utsname unameFacts() {
    utsname facts{};
    uname(&facts);
    return facts;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\"");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\"");
    return text.substr(first, last - first + 1);
}

// The value of the first "key<separator>value" line of a text file whose key matches.
std::optional<std::string> fileField(const char* path, std::string_view key, char separator) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto split = line.find(separator);
        if (split == std::string::npos || trimmed(std::string_view(line).substr(0, split)) != key) {
            continue;
        }
        auto value = trimmed(std::string_view(line).substr(split + 1));
        if (value.empty()) {
            return std::nullopt;
        }
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> firstLine(const char* path) {
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line) || trimmed(line).empty()) {
        return std::nullopt;
    }
    return std::string(trimmed(line));
}

// A "/proc/self/status" memory field such as "VmRSS:  1234 kB", in bytes.
std::optional<std::uint64_t> statusKilobytes(std::string_view key) {
    auto value = fileField("/proc/self/status", key, ':');
    if (!value) {
        return std::nullopt;
    }
    std::uint64_t kilobytes = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), kilobytes);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return kilobytes * 1024;
}

} // namespace

std::string SystemFacts::operatingSystemName() { return unameFacts().sysname; }

std::string SystemFacts::operatingSystemVersion() {
    std::string version = unameFacts().release;
    if (auto distribution = fileField("/etc/os-release", "PRETTY_NAME", '=')) {
        version += " (" + *distribution + ")";
    }
    return version;
}

std::string SystemFacts::architecture() { return unameFacts().machine; }

std::optional<std::string> SystemFacts::processorBrand() { return fileField("/proc/cpuinfo", "model name", ':'); }

std::optional<std::string> SystemFacts::hardwareModel() {
    return firstLine("/sys/devices/virtual/dmi/id/product_name");
}

long SystemFacts::activeProcessorCount() { return sysconf(_SC_NPROCESSORS_ONLN); }

long SystemFacts::processorCount() { return sysconf(_SC_NPROCESSORS_CONF); }

std::uint64_t SystemFacts::physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0;
}

std::optional<std::uint64_t> SystemFacts::residentMemoryBytes() { return statusKilobytes("VmRSS"); }

std::optional<std::uint64_t> SystemFacts::peakResidentMemoryBytes() { return statusKilobytes("VmHWM"); }

} // namespace platform::sys
