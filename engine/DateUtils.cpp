#include "engine/DateUtils.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "format/FormatResult.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

namespace korvalen {

namespace {

constexpr std::int32_t MinSerialDay = -693593;      // 0001-01-01
constexpr std::int32_t MaxSerialDay = 2958465;      // 9999-12-31, the last encodable day
constexpr std::int32_t MaxDecodableDay = 23242572;  // 65535-12-31: years are kept in 16 bits
constexpr std::int64_t MSecsPerDay = 86400000;
// Days from 1970-01-01 back to 1899-12-30, the serial's day 0.
constexpr std::int32_t SerialEpochFromUnix = 25569;

// Proleptic Gregorian day counts from 1970-01-01 (H. Hinnant's algorithms).
constexpr std::int32_t DaysFromCivil(std::int32_t year, std::int32_t month,
                                     std::int32_t day) noexcept {
  year -= month <= 2 ? 1 : 0;
  const std::int32_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int32_t yearOfEra = year - era * 400;
  const std::int32_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr void CivilFromDays(std::int32_t days, std::int32_t& year, std::int32_t& month,
                             std::int32_t& day) noexcept {
  days += 719468;
  const std::int32_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int32_t dayOfEra = days - era * 146097;
  const std::int32_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int32_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

static_assert(DaysFromCivil(1899, 12, 30) == -SerialEpochFromUnix);
static_assert(DaysFromCivil(1, 1, 1) + SerialEpochFromUnix == MinSerialDay);
static_assert(DaysFromCivil(9999, 12, 31) + SerialEpochFromUnix == MaxSerialDay);
static_assert(DaysFromCivil(65535, 12, 31) + SerialEpochFromUnix == MaxDecodableDay);

// The whole days of a serial after rounding to milliseconds, counted toward
// zero; false outside the years 1 to 65535. The range is checked before any
// conversion to an integer.
bool SerialDay(double dateTime, std::int32_t& serialDay) noexcept {
  if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3.0e7) {
    return false;
  }
  const long double ms = std::nearbyint(static_cast<long double>(dateTime) * MSecsPerDay);
  const std::int64_t days = static_cast<std::int64_t>(ms) / MSecsPerDay;
  if (days < MinSerialDay || days > MaxDecodableDay) {
    return false;
  }
  serialDay = static_cast<std::int32_t>(days);
  return true;
}

[[noreturn]] void RaiseNotRepresentable(double julianDate) {
  throw EConvertError(Format(res::SInvalidJulianDate, {FormatFixed(julianDate, 2)}));
}

// Names the serial given: the Julian date it would stand for is no date at all.
[[noreturn]] void RaiseNotDecodable(double dateTime) {
  throw EConvertError(Format(res::SSerialNotDecodable, {FormatFixed(dateTime, 2)}));
}

}  // namespace

bool IsLeapYear(int year) noexcept {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryEncodeDate(int year, int month, int day, double& date) noexcept {
  static constexpr int DaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                             {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
  if (year < 1 || year > 9999 || month < 1 || month > 12) {
    return false;
  }
  if (day < 1 || day > DaysInMonth[IsLeapYear(year) ? 1 : 0][month - 1]) {
    return false;
  }
  date = DaysFromCivil(year, month, day) + SerialEpochFromUnix;
  return true;
}

bool TryDecodeDate(double dateTime, int& year, int& month, int& day) noexcept {
  std::int32_t serialDay = 0;
  if (!SerialDay(dateTime, serialDay)) {
    return false;
  }
  CivilFromDays(serialDay - SerialEpochFromUnix, year, month, day);
  return true;
}

double DateTimeToJulianDate(double dateTime) {
  std::int32_t serialDay = 0;
  if (!SerialDay(dateTime, serialDay)) {
    RaiseNotDecodable(dateTime);
  }
  std::int32_t y = 0;
  std::int32_t m = 0;
  std::int32_t d = 0;
  CivilFromDays(serialDay - SerialEpochFromUnix, y, m, d);
  // Fliegel and Van Flandern, in 32-bit integers truncating toward zero.
  const std::int32_t b = (m - 14) / 12;
  const std::int32_t n = (1461 * (y + 4800 + b)) / 4 + (367 * (m - 2 - 12 * b)) / 12 -
                         (3 * ((y + 4900 + b) / 100)) / 4 + d;
  // The time of day relative to the day that gave the date: a serial a
  // fraction of a millisecond before midnight belongs to the next day, and its
  // fraction is then just below zero instead of just below one.
  const long double fraction = static_cast<long double>(dateTime) - serialDay;
  return static_cast<double>((static_cast<long double>(n) - 32075.5L) + fraction);
}

double JulianDateToDateTime(double julianDate) {
  // Beyond 5e8 days the 32-bit steps below would overflow.
  if (!std::isfinite(julianDate) || std::fabs(julianDate) >= 5.0e8) {
    RaiseNotRepresentable(julianDate);
  }
  const auto a = static_cast<std::int32_t>(julianDate);
  // Fliegel and Van Flandern, with 68570 so that the date is that of a + 1:
  // a Julian date's day begins at noon.
  std::int32_t l = a + 68570;
  const std::int32_t n = (4 * l) / 146097;
  l = l - (146097 * n + 3) / 4;
  const std::int32_t i = (4000 * (l + 1)) / 1461001;
  l = l - (1461 * i) / 4 + 31;
  const std::int32_t j = (80 * l) / 2447;
  const std::int32_t day = l - (2447 * j) / 80;
  const std::int32_t k = j / 11;
  const std::int32_t month = j + 2 - 12 * k;
  const std::int32_t year = 100 * (n - 49) + i + k;
  double date = 0.0;
  if (!TryEncodeDate(year, month, day, date)) {
    RaiseNotRepresentable(julianDate);
  }
  const long double fraction = static_cast<long double>(julianDate) - a;
  return static_cast<double>((fraction + static_cast<long double>(date)) - 0.5L);
}

double DateTimeToModifiedJulianDate(double dateTime) {
  return static_cast<double>(static_cast<long double>(DateTimeToJulianDate(dateTime)) - 2400000.5L);
}

double ModifiedJulianDateToDateTime(double modifiedJulianDate) {
  return JulianDateToDateTime(
      static_cast<double>(static_cast<long double>(modifiedJulianDate) + 2400000.5L));
}

}  // namespace korvalen
