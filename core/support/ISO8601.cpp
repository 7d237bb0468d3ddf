#include "core/support/ISO8601.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace halvex {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil-days algorithm).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

bool isLeap(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned daysInMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned table[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : table[month - 1];
}

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool digits(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= text_.size() || text_[position_] < '0' || text_[position_] > '9') return false;
            value = value * 10 + (text_[position_++] - '0');
        }
        return true;
    }
    bool literal(char expected) {
        if (position_ >= text_.size() || text_[position_] != expected) return false;
        ++position_;
        return true;
    }
    bool peek(char expected) const { return position_ < text_.size() && text_[position_] == expected; }
    bool atEnd() const { return position_ == text_.size(); }
    char next() { return text_[position_++]; }
    bool nextIsDigit() const { return position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9'; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

}  // namespace

double halvexEpochNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string halvexISO8601String(double epochSeconds) {
    if (!std::isfinite(epochSeconds)) epochSeconds = 0;
    const auto totalMilliseconds = static_cast<std::int64_t>(std::floor(epochSeconds * 1000.0));
    std::int64_t days = totalMilliseconds / 86'400'000;
    std::int64_t rest = totalMilliseconds % 86'400'000;
    if (rest < 0) {
        rest += 86'400'000;
        days -= 1;
    }
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year), month,
                  day, static_cast<long long>(rest / 3'600'000), static_cast<long long>(rest / 60'000 % 60),
                  static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
    return text;
}

std::optional<double> halvexParseInternetDateTime(std::string_view text) {
    Cursor cursor(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!cursor.digits(4, year) || !cursor.literal('-') || !cursor.digits(2, month) || !cursor.literal('-') ||
        !cursor.digits(2, day) || !cursor.literal('T') || !cursor.digits(2, hour) || !cursor.literal(':') ||
        !cursor.digits(2, minute) || !cursor.literal(':') || !cursor.digits(2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 60) {
        return std::nullopt;
    }
    double fraction = 0;
    if (cursor.literal('.')) {
        if (!cursor.nextIsDigit()) return std::nullopt;
        std::string digits = "0.";
        while (cursor.nextIsDigit()) digits += cursor.next();
        fraction = std::strtod(digits.c_str(), nullptr);
    }
    int offsetSeconds = 0;
    if (cursor.literal('Z')) {
    } else if (cursor.peek('+') || cursor.peek('-')) {
        const int sign = cursor.next() == '-' ? -1 : 1;
        int offsetHours = 0, offsetMinutes = 0;
        if (!cursor.digits(2, offsetHours)) return std::nullopt;
        cursor.literal(':');
        if (!cursor.digits(2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        return std::nullopt;
    }
    if (!cursor.atEnd()) return std::nullopt;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const double seconds = static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second - offsetSeconds;
    return seconds + fraction;
}

}  // namespace halvex
