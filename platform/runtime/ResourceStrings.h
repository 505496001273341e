#pragma once

// Every message text of the program, in one place. N_ marks a text for
// extraction by xgettext (--keyword=N_); a translated build swaps the texts
// here, so no other file holds a user-visible message.

#include <string_view>

#define N_(text) text

namespace korvalen::res {

// Conversion registry and value conversion.
inline constexpr std::string_view SConvDuplicateFamily =
    N_("Conversion family (%s) already registered");
inline constexpr std::string_view SConvUnknownFamily = N_("Unknown conversion family %s");
inline constexpr std::string_view SConvFactorZero = N_("%s has a factor of zero");
inline constexpr std::string_view SConvDuplicateType =
    N_("Conversion type (%s) already registered in %s");
inline constexpr std::string_view SConvIncompatibleTypes =
    N_("Incompatible conversion types [%s, %s]");
inline constexpr std::string_view SConvIllegalType = N_("Illegal type");
inline constexpr std::string_view SConvIllegalFamily = N_("Illegal family");
inline constexpr std::string_view SConvFamiliesExhausted =
    N_("No more conversion families can be registered (%s)");
inline constexpr std::string_view SConvTypesExhausted =
    N_("No more conversion types can be registered (%s)");
inline constexpr std::string_view SConvFactorNotFinite =
    N_("%s has a factor that is not a finite number");
inline constexpr std::string_view SConvProcMissing = N_("%s has no conversion procedure");

// Date routines.
inline constexpr std::string_view SInvalidJulianDate =
    N_("%f Julian cannot be represented as a DateTime");
inline constexpr std::string_view SSerialNotDecodable = N_("Serial %f cannot be decoded as a date");

// Floating-point faults.
inline constexpr std::string_view SInvalidOp = N_("Invalid floating point operation");
inline constexpr std::string_view SZeroDivide = N_("Floating point division by zero");
inline constexpr std::string_view SOverflow = N_("Floating point overflow");

// Number formatting.
inline constexpr std::string_view SFormatTooLong = N_("Format string too long");

// Platform layer and windows.
inline constexpr std::string_view SCannotOpenClipboard = N_("Cannot open clipboard");
inline constexpr std::string_view SControlParentMustBeForm = N_("Control parent must be a form!");
inline constexpr std::string_view SOnlyOneWinXP = N_("Only one instance of TWinXP allowed on form");
inline constexpr std::string_view SCannotLoadPicture = N_("Cannot load picture %s");
inline constexpr std::string_view SLayoutUnreadable = N_("Cannot read layout %s");
inline constexpr std::string_view SLayoutMalformed = N_("%s: malformed layout: %s");
inline constexpr std::string_view SLayoutWrongForm =
    N_("%s: layout of %s cannot be loaded onto %s");
inline constexpr std::string_view SLayoutUnknownClass = N_("%s: %s: unknown class %s");
inline constexpr std::string_view SLayoutUnknownProperty = N_("%s: %s: unknown property %s");
inline constexpr std::string_view SLayoutBadValue =
    N_("%s: %s: invalid value for property %s (%s expected)");
inline constexpr std::string_view SComponentMissing = N_("%s has no component %s");
inline constexpr std::string_view SComponentWrongClass = N_("%s: %s is not a %s");
inline constexpr std::string_view SCannotReadPicture = N_("Cannot read picture %s: %s");

// Single-instance guard: the program's title, then why its name could not be created.
inline constexpr std::string_view SInstanceNameUnavailable =
    N_("%s does not start: its single-instance name cannot be created (%s)");

}  // namespace korvalen::res
