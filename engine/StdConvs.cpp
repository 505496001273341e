#include "engine/StdConvs.h"

#include <array>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "engine/ConvUtils.h"
#include "engine/DateUtils.h"
#include "platform/runtime/ResourceStrings.h"

namespace korvalen {

namespace {

// One unit of the catalogue: a factor (base units per unit), or a pair of
// procedures when the relation is not a plain factor.
struct TStdUnit {
  std::string_view Description;
  double Factor = 0.0;
  TConvProc ToBase = nullptr;
  TConvProc FromBase = nullptr;
};

constexpr TStdUnit Unit(std::string_view description, double factor) {
  return {description, factor};
}
constexpr TStdUnit Unit(std::string_view description, TConvProc toBase, TConvProc fromBase) {
  return {description, 0.0, toBase, fromBase};
}

// Temperature procedures. Each evaluates left to right at extended precision
// and rounds only its own result to double; a value handed from one to
// another is a double. So 0 Rankine is -273.15000000000003 Celsius: 459.67 is
// subtracted at extended precision.
constexpr long double KelvinOffset = 273.15L;
constexpr long double RankineOffset = 459.67L;

// The reading widened exactly to extended precision.
constexpr long double Wide(double value) {
  return static_cast<long double>(value);
}

double KelvinToCelsius(double r) {
  return static_cast<double>(Wide(r) - KelvinOffset);
}
double CelsiusToKelvin(double c) {
  return static_cast<double>(Wide(c) + KelvinOffset);
}
double FahrenheitToCelsius(double r) {
  return static_cast<double>((Wide(r) - 32.0L) * 5.0L / 9.0L);
}
double CelsiusToFahrenheit(double c) {
  return static_cast<double>(Wide(c) * 9.0L / 5.0L + 32.0L);
}
double RankineToCelsius(double r) {
  return FahrenheitToCelsius(static_cast<double>(Wide(r) - RankineOffset));
}
double CelsiusToRankine(double c) {
  return static_cast<double>(Wide(CelsiusToFahrenheit(c)) + RankineOffset);
}
double ReaumurToCelsius(double r) {
  return FahrenheitToCelsius(static_cast<double>(Wide(r) * 9.0L / 4.0L + 32.0L));
}
double CelsiusToReaumur(double c) {
  return static_cast<double>((Wide(CelsiusToFahrenheit(c)) - 32.0L) * 4.0L / 9.0L);
}

constexpr double DaysPerMonth = 30.4375;  // 365.25 / 12
constexpr double DaysPerYear = 365.25;

// clang-format off
constexpr TStdUnit DistanceUnits[] = {  // in meters
  Unit(N_("Micromicrons"), 1e-12),
  Unit(N_("Angstroms"), 1e-10),
  Unit(N_("Millimicrons"), 1e-9),
  Unit(N_("Microns"), 1e-6),
  Unit(N_("Millimeters"), 0.001),
  Unit(N_("Centimeters"), 0.01),
  Unit(N_("Decimeters"), 0.1),
  Unit(N_("Meters"), 1),                                   // base unit
  Unit(N_("Decameters"), 10),
  Unit(N_("Hectometers"), 100),
  Unit(N_("Kilometers"), 1000),
  Unit(N_("Megameters"), 1000000),
  Unit(N_("Gigameters"), 1000000000),
  Unit(N_("Inches"), 0.0254),
  Unit(N_("Feet"), 0.3048),                                // 12 inches
  Unit(N_("Yards"), 0.9144),                               // 3 feet
  Unit(N_("Miles"), 1609.344),                             // 5280 feet
  Unit(N_("NauticalMiles"), 1852),
  Unit(N_("AstronomicalUnits"), 149598000000.0),             // exact in a double
  Unit(N_("LightYears"), 9460528404879358.0),                // exact in a double
  Unit(N_("Parsecs"), 30856802484953068.0),                  // exact in a double
  Unit(N_("Cubits"), 0.4572),                              // 18 inches
  Unit(N_("Fathoms"), 1.8288),                             // 6 feet
  Unit(N_("Furlongs"), 201.168),                           // 660 feet
  Unit(N_("Hands"), 0.1016),                               // 4 inches
  Unit(N_("Paces"), 0.762),                                // 30 inches
  Unit(N_("Rods"), 5.0292),                                // 16.5 feet
  Unit(N_("Chains"), 20.1168),                             // 66 feet
  Unit(N_("Links"), 0.201168),                             // 1/100 chain
  Unit(N_("Picas"), 0.0042175176),
  Unit(N_("Points"), 0.0003514598),
};

constexpr TStdUnit AreaUnits[] = {  // in square meters
  Unit(N_("SquareMillimeters"), 1e-6),
  Unit(N_("SquareCentimeters"), 0.0001),
  Unit(N_("SquareDecimeters"), 0.01),
  Unit(N_("SquareMeters"), 1),                             // base unit
  Unit(N_("SquareDecameters"), 100),
  Unit(N_("SquareHectometers"), 10000),
  Unit(N_("SquareKilometers"), 1000000),
  Unit(N_("SquareInches"), 0.00064516),                    // a square of 0.0254 m
  Unit(N_("SquareFeet"), 0.09290304),                      // a square of 0.3048 m
  Unit(N_("SquareYards"), 0.83612736),                     // a square of 0.9144 m
  Unit(N_("SquareMiles"), 2589988.110336),                 // a square of 1609.344 m
  Unit(N_("Acres"), 4046.8564224),                         // 43560 square feet
  Unit(N_("Centares"), 1),                                 // equal to the base unit
  Unit(N_("Ares"), 100),
  Unit(N_("Hectares"), 10000),
  Unit(N_("SquareRods"), 25.29285264),                     // a square of 5.0292 m
};

constexpr TStdUnit VolumeUnits[] = {  // in cubic meters
  Unit(N_("CubicMillimeters"), 1e-9),
  Unit(N_("CubicCentimeters"), 1e-6),
  Unit(N_("CubicDecimeters"), 0.001),
  Unit(N_("CubicMeters"), 1),                              // base unit
  Unit(N_("CubicDecameters"), 1000),
  Unit(N_("CubicHectometers"), 1000000),
  Unit(N_("CubicKilometers"), 1000000000),
  Unit(N_("CubicInches"), 1.6387064e-5),                   // a cube of 0.0254 m
  Unit(N_("CubicFeet"), 0.028316846592),                   // a cube of 0.3048 m; 1728 cubic inches
  Unit(N_("CubicYards"), 0.764554857984),                  // 27 cubic feet
  Unit(N_("CubicMiles"), 4168181825.4405794),              // a cube of 1609.344 m
  Unit(N_("MilliLiters"), 1e-6),                           // equal to CubicCentimeters
  Unit(N_("CentiLiters"), 1e-5),
  Unit(N_("DeciLiters"), 0.0001),
  Unit(N_("Liters"), 0.001),                               // equal to CubicDecimeters
  Unit(N_("DecaLiters"), 0.01),
  Unit(N_("HectoLiters"), 0.1),
  Unit(N_("KiloLiters"), 1),                               // equal to the base unit
  Unit(N_("AcreFeet"), 1233.48183754752),                  // 43560 cubic feet
  Unit(N_("AcreInches"), 102.79015312896),                 // one twelfth of AcreFeet
  Unit(N_("Cords"), 3.624556363776),                       // 128 cubic feet
  Unit(N_("CordFeet"), 0.453069545472),                    // 16 cubic feet
  Unit(N_("Decisteres"), 0.1),
  Unit(N_("Steres"), 1),                                   // equal to the base unit
  Unit(N_("Decasteres"), 10),
  Unit(N_("FluidGallons"), 0.003785411784),                // U.S. liquid gallon, 231 cubic inches
  Unit(N_("FluidQuarts"), 0.000946352946),                 // 1/4 of FluidGallons
  Unit(N_("FluidPints"), 0.000473176473),                  // 1/8 of FluidGallons
  Unit(N_("FluidCups"), 0.0002365882365),                  // 1/16 of FluidGallons
  Unit(N_("FluidGills"), 0.00011829411825),                // 1/32 of FluidGallons
  Unit(N_("FluidOunces"), 2.95735295625e-5),               // 1/128 of FluidGallons
  Unit(N_("FluidTablespoons"), 1.478676478125e-5),         // 1/256 of FluidGallons
  Unit(N_("FluidTeaspoons"), 4.92892159375e-6),            // 1/768 of FluidGallons
  Unit(N_("DryGallons"), 0.00440488377086),                // U.S. dry gallon, 268.8025 cubic inches
  Unit(N_("DryQuarts"), 0.001101220942715),                // 1/4 of DryGallons
  Unit(N_("DryPints"), 0.0005506104713575),                // 1/8 of DryGallons
  Unit(N_("DryPecks"), 0.00880976754172),                  // 2 DryGallons
  Unit(N_("DryBuckets"), 0.01761953508344),                // 4 DryGallons
  Unit(N_("DryBushels"), 0.03523907016688),                // 8 DryGallons
  Unit(N_("UKGallons"), 0.00454609),                       // imperial gallon, 4.54609 liters
  Unit(N_("UKPottle"), 0.002273045),                       // 1/2 of UKGallons
  Unit(N_("UKQuarts"), 0.0011365225),                      // 1/4 of UKGallons
  Unit(N_("UKPints"), 0.00056826125),                      // 1/8 of UKGallons
  Unit(N_("UKGill"), 0.0001420653125),                     // 1/32 of UKGallons
  Unit(N_("UKOunces"), 2.84130625e-5),                     // 1/160 of UKGallons
  Unit(N_("UKPecks"), 0.00909218),                         // 2 UKGallons
  Unit(N_("UKBuckets"), 0.01818436),                       // 4 UKGallons
  Unit(N_("UKBushels"), 0.03636872),                       // 8 UKGallons
};

constexpr TStdUnit MassUnits[] = {  // in grams
  Unit(N_("Nanograms"), 1e-9),
  Unit(N_("Micrograms"), 1e-6),
  Unit(N_("Milligrams"), 0.001),
  Unit(N_("Centigrams"), 0.01),
  Unit(N_("Decigrams"), 0.1),
  Unit(N_("Grams"), 1),                                    // base unit
  Unit(N_("Decagrams"), 10),
  Unit(N_("Hectograms"), 100),
  Unit(N_("Kilograms"), 1000),
  Unit(N_("MetricTons"), 1000000),                         // 1000 kilograms
  Unit(N_("Drams"), 1.7718451953125),                      // 1/16 of Ounces
  Unit(N_("Grains"), 0.06479891),                          // 1/7000 of Pounds
  Unit(N_("Tons"), 907184.74),                             // short ton, 2000 Pounds
  Unit(N_("LongTons"), 1016046.9088),                      // 2240 Pounds
  Unit(N_("Ounces"), 28.349523125),                        // 1/16 of Pounds
  Unit(N_("Pounds"), 453.59237),                           // avoirdupois pound
};

constexpr TStdUnit TemperatureUnits[] = {  // in degrees Celsius
  Unit(N_("Celsius"), 1),                                  // base unit
  Unit(N_("Kelvin"), KelvinToCelsius, CelsiusToKelvin),    // r - 273.15; c + 273.15
  Unit(N_("Fahrenheit"), FahrenheitToCelsius, CelsiusToFahrenheit),  // (r - 32) * 5 / 9; c * 9 / 5 + 32
  Unit(N_("Rankine"), RankineToCelsius, CelsiusToRankine), // through Fahrenheit, offset 459.67
  Unit(N_("Reaumur"), ReaumurToCelsius, CelsiusToReaumur), // through Fahrenheit, r * 9 / 4 + 32
};

constexpr TStdUnit TimeUnits[] = {  // in days
  Unit(N_("MilliSeconds"), 1.0 / 86400000),                // 1.1574074074074074e-8
  Unit(N_("Seconds"), 1.0 / 86400),                        // 1.1574074074074073e-5
  Unit(N_("Minutes"), 1.0 / 1440),                         // 0.0006944444444444445
  Unit(N_("Hours"), 1.0 / 24),                             // 0.041666666666666664
  Unit(N_("Days"), 1),                                     // base unit
  Unit(N_("Weeks"), 7),
  Unit(N_("Fortnights"), 14),
  Unit(N_("Months"), DaysPerMonth),                        // 30.4375
  Unit(N_("Years"), DaysPerYear),                          // 365.25
  Unit(N_("Decades"), DaysPerYear * 10),                   // 3652.5
  Unit(N_("Centuries"), DaysPerYear * 100),                // 36525
  Unit(N_("Millennia"), DaysPerYear * 1000),               // 365250
  Unit(N_("DateTime"), 1),                                 // a date-time serial counts days
  Unit(N_("JulianDate"), JulianDateToDateTime, DateTimeToJulianDate),
  Unit(N_("ModifiedJulianDate"), ModifiedJulianDateToDateTime, DateTimeToModifiedJulianDate),
};
// clang-format on

struct TStdFamily {
  std::string_view Description;
  std::span<const TStdUnit> Units;
};

constexpr TStdFamily StandardFamilies[] = {
    {N_("Distance"), DistanceUnits},       {N_("Area"), AreaUnits},
    {N_("Volume"), VolumeUnits},           {N_("Mass"), MassUnits},
    {N_("Temperature"), TemperatureUnits}, {N_("Time"), TimeUnits},
};
constexpr std::size_t FamilyCount = std::size(StandardFamilies);

// The families registered by the last RegisterStandardUnits, for removal.
std::mutex gKeptMutex;
std::array<TConvFamilyId, FamilyCount> gKeptFamilies{};

void RemoveFamilies(const std::array<TConvFamilyId, FamilyCount>& families) {
  for (const TConvFamilyId family : families) {
    if (family != IllegalFamilyId) {
      RemoveConvFamily(family);
    }
  }
}

void RegisterUnit(TConvFamilyId family, const TStdUnit& unit) {
  const std::string description(unit.Description);
  if (unit.ToBase != nullptr) {
    AddConvType(family, description, unit.ToBase, unit.FromBase);
  } else {
    AddConvType(family, description, unit.Factor);
  }
}

}  // namespace

void RegisterStandardUnits() {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  std::array<TConvFamilyId, FamilyCount> registered{};
  try {
    for (std::size_t f = 0; f < FamilyCount; ++f) {
      registered[f] = AddConvFamily(std::string(StandardFamilies[f].Description));
      for (const TStdUnit& unit : StandardFamilies[f].Units) {
        RegisterUnit(registered[f], unit);
      }
    }
  } catch (...) {
    // Nothing half-registered stays behind.
    RemoveFamilies(registered);
    throw;
  }
  gKeptFamilies = registered;
}

void UnregisterStandardUnits() {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  RemoveFamilies(gKeptFamilies);
  gKeptFamilies = {};
}

}  // namespace korvalen
