#include "QuorlAudio/models/HttpDate.hpp"

#include <array>
#include <charconv>

namespace quorl {
namespace {

constexpr std::array<std::string_view, 7> dayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 12> monthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 2> zoneNames = {"GMT", "UTC"};

// Reads the fields left to right; any mismatch leaves the reader failed.
class Reader {
public:
    explicit Reader(std::string_view text) : rest_(text) {}

    bool failed() const { return failed_; }
    bool atEnd() const { return rest_.empty(); }

    void literal(std::string_view expected) {
        if (!rest_.starts_with(expected)) {
            failed_ = true;
            return;
        }
        rest_.remove_prefix(expected.size());
    }

    int number(std::size_t digits) {
        int value = 0;
        const auto field = rest_.substr(0, digits);
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (field.size() != digits || error != std::errc() || end != field.data() + digits || field[0] == '-') {
            failed_ = true;
            return 0;
        }
        rest_.remove_prefix(digits);
        return value;
    }

    // The position in `names` of the name the text continues with, counted from 1.
    template <std::size_t count> unsigned name(const std::array<std::string_view, count>& names) {
        for (std::size_t index = 0; index < count; ++index) {
            if (rest_.starts_with(names[index])) {
                rest_.remove_prefix(names[index].size());
                return static_cast<unsigned>(index + 1);
            }
        }
        failed_ = true;
        return 0;
    }

private:
    std::string_view rest_;
    bool failed_ = false;
};

// The clock counts nanoseconds in 64 bits, about 292 years either side of 1970; a date outside that range
// becomes the nearest moment the clock can hold.
std::chrono::system_clock::time_point clampedTimePoint(std::chrono::sys_seconds moment) {
    using std::chrono::system_clock;
    constexpr auto earliest = std::chrono::floor<std::chrono::seconds>(system_clock::time_point::min());
    constexpr auto latest = std::chrono::floor<std::chrono::seconds>(system_clock::time_point::max());
    if (moment.time_since_epoch() <= earliest.time_since_epoch()) {
        return system_clock::time_point::min();
    }
    if (moment.time_since_epoch() >= latest.time_since_epoch()) {
        return system_clock::time_point::max();
    }
    return std::chrono::time_point_cast<system_clock::duration>(moment);
}

} // namespace

std::optional<std::chrono::system_clock::time_point> parseHttpDate(std::string_view text) {
    using namespace std::chrono;
    Reader reader(text);
    reader.name(dayNames);
    reader.literal(", ");
    const int day = reader.number(2);
    reader.literal(" ");
    const unsigned month = reader.name(monthNames);
    reader.literal(" ");
    const int year = reader.number(4);
    reader.literal(" ");
    const int hour = reader.number(2);
    reader.literal(":");
    const int minute = reader.number(2);
    reader.literal(":");
    const int second = reader.number(2);
    reader.literal(" ");
    reader.name(zoneNames);
    const year_month_day date{std::chrono::year(year), std::chrono::month(month),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (reader.failed() || !reader.atEnd() || !date.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return clampedTimePoint(sys_days(date) + hours(hour) + minutes(minute) + seconds(second));
}

} // namespace quorl
