#include "core/Time.h"

#include <cmath>
#include <cstdio>

namespace vael {

using namespace std::chrono;

TimePoint truncatedToMilliseconds(TimePoint time) {
    return time_point_cast<TimePoint::duration>(floor<milliseconds>(time));
}

std::string toDatabaseText(TimePoint time) {
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day ymd{day};
    const hh_mm_ss hms{ms - day};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02ld:%02ld:%02ld.%03ld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                  static_cast<long>(hms.seconds().count()), static_cast<long>(hms.subseconds().count()));
    return buffer;
}

std::optional<TimePoint> fromDatabaseText(std::string_view text) {
    // Exactly "YYYY-MM-DD HH:MM:SS.mmm"; the fraction may be absent or shorter.
    auto digits = [&](std::size_t at, std::size_t count, int& out) {
        if (at + count > text.size()) return false;
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        out = value;
        return true;
    };
    int y, mo, d, h, mi, s;
    if (text.size() < 19 || !digits(0, 4, y) || text[4] != '-' || !digits(5, 2, mo) || text[7] != '-' ||
        !digits(8, 2, d) || text[10] != ' ' || !digits(11, 2, h) || text[13] != ':' || !digits(14, 2, mi) ||
        text[16] != ':' || !digits(17, 2, s))
        return std::nullopt;
    int millis = 0;
    if (text.size() > 19) {
        if (text[19] != '.' || text.size() == 20 || text.size() > 23) return std::nullopt;
        int fraction = 0;
        const std::size_t count = text.size() - 20;
        if (!digits(20, count, fraction)) return std::nullopt;
        millis = fraction * (count == 1 ? 100 : count == 2 ? 10 : 1);
    }
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    // Outside these years the nanosecond clock would overflow.
    if (!ymd.ok() || y < 1700 || y > 2250 || h > 23 || mi > 59 || s > 59) return std::nullopt;
    return TimePoint{sys_days{ymd}.time_since_epoch() + hours{h} + minutes{mi} + seconds{s} + milliseconds{millis}};
}

double toReferenceSeconds(TimePoint time) {
    return duration<double>(time.time_since_epoch() - kReferenceEpochOffset).count();
}

TimePoint fromReferenceSeconds(double seconds) {
    // Beyond about +-250 years the nanosecond clock would overflow: clamp, never wrap.
    constexpr double kLimit = 8.0e9;
    if (!std::isfinite(seconds)) seconds = 0;
    seconds = std::fmax(-kLimit, std::fmin(kLimit, seconds));
    // Round to the microsecond: a double cannot carry more for present-day dates.
    const auto micros = static_cast<long long>(std::llround(seconds * 1e6));
    return TimePoint{kReferenceEpochOffset + duration_cast<TimePoint::duration>(microseconds{micros})};
}

}  // namespace vael
