// The value forms of the signed list: UTC times and hexadecimal bytes.
#include "SignedList.h"

#include <cstdio>

namespace {

bool IsLeap(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t LeapYearsThrough(int64_t year) {
    return year / 4 - year / 100 + year / 400;
}

const unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

unsigned DaysInMonth(int64_t year, unsigned month) {
    return kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1u : 0u);
}

// Days from 1970-01-01 to the given date, for years from 1970 on.
int64_t DaysSinceEpoch(int64_t year, unsigned month, unsigned day) {
    int64_t days = 365 * (year - 1970) + LeapYearsThrough(year - 1) - LeapYearsThrough(1969);
    for (unsigned m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    return days + day - 1;
}

void DateOfDay(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    year = 1970;
    while (days >= (IsLeap(year) ? 366 : 365))
        days -= IsLeap(year++) ? 366 : 365;
    month = 1;
    while (days >= DaysInMonth(year, month))
        days -= DaysInMonth(year, month++);
    day = static_cast<unsigned>(days) + 1;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string FormatUtcTime(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const int64_t rest = seconds % 86400;
    int64_t y;
    unsigned m, d;
    DateOfDay(seconds / 86400, y, m, d);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(y), m, d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

bool ParseUtcTime(std::string_view text, int64_t& seconds) {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z')
        return false;
    unsigned y, mo, d, h, mi, s;
    if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) ||
        !Digits(text, 11, 2, h) || !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, s))
        return false;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 ||
        s > 59)
        return false;
    seconds = DaysSinceEpoch(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

std::string ToHex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

bool FromHex(std::string_view hex, unsigned char* bytes, std::size_t size) {
    if (hex.size() != size * 2)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}
