#pragma once

// Date routines: date-time serials and Julian dates.
//
// A date-time serial is a double whose whole part counts days from 1899-12-30
// and whose fractional part is the time of day (0.5 is noon); it encodes the
// dates 0001-01-01 (serial -693593) to 9999-12-31 (serial 2958465). A Julian
// date counts days from noon, 4713 BC (proleptic Julian calendar); a modified
// Julian date is the Julian date minus 2400000.5.
//
// Each conversion computes at extended precision and rounds once to double.

namespace korvalen {

// Gregorian leap years: IsLeapYear(2000) and IsLeapYear(2024), not IsLeapYear(1900).
bool IsLeapYear(int year) noexcept;

// The serial of year-month-day at 00:00; false, leaving date as it was, unless
// the three form a date of the years 1 to 9999.
// TryEncodeDate(1899, 12, 30, d) gives 0; TryEncodeDate(2023, 2, 29, d) fails.
bool TryEncodeDate(int year, int month, int day, double& date) noexcept;

// The calendar date of a serial: the serial is rounded to whole milliseconds
// (ties to even) and its whole days are counted toward zero, so -1.25 lies on
// 1899-12-29 and 0.9999999999 on 1899-12-31. Decodes the years 1 to 65535,
// beyond what TryEncodeDate encodes: 2958466 gives 10000-01-01. False,
// leaving the outputs as they were, for NaN, infinities and dates outside
// those years.
bool TryDecodeDate(double dateTime, int& year, int& month, int& day) noexcept;

// Serial to Julian date. DateTimeToJulianDate(0) gives 2415018.5.
// The time of day is taken relative to the same whole-day count as the date,
// so a serial just short of midnight stays on its day.
// DateTimeToJulianDate(2958466) gives 5373484.5 (10000-01-01).
// Throws EConvertError "Serial %f cannot be decoded as a date" (the serial
// with two decimals) for a serial that TryDecodeDate rejects.
double DateTimeToJulianDate(double dateTime);

// Julian date to serial. JulianDateToDateTime(2415019.25) gives 0.75.
// Throws EConvertError "%f Julian cannot be represented as a DateTime" (the
// Julian date with two decimals: 5373484.50) when the date falls outside the
// years 1 to 9999, and for NaN, infinities and magnitudes of 5e8 and more.
double JulianDateToDateTime(double julianDate);

// Serial to modified Julian date. DateTimeToModifiedJulianDate(0) gives 15018.
double DateTimeToModifiedJulianDate(double dateTime);

// Modified Julian date to serial, through JulianDateToDateTime of
// m + 2400000.5 (rounded to double), whose errors it raises.
// ModifiedJulianDateToDateTime(0) gives -15018.
double ModifiedJulianDateToDateTime(double modifiedJulianDate);

}  // namespace korvalen
