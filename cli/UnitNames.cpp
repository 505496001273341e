#include "cli/UnitNames.h"

#include <algorithm>
#include <utility>

namespace korvalen::cli {

namespace {

// A bare customary symbol or word names the U.S. liquid or avoirdupois unit;
// "dry", "uk" and "imp" name the others. In catalogue order.
constexpr TUnitNames Names[] = {
    // Distance
    {"Micromicrons", "picometers", "pm"},
    {"Angstroms", "ångströms", "Å Å"},
    {"Millimicrons", "nanometers", "nm"},
    {"Microns", "micrometers", "µm μm um"},
    {"Millimeters", "", "mm"},
    {"Centimeters", "", "cm"},
    {"Decimeters", "", "dm"},
    {"Meters", "", "m"},
    {"Decameters", "", "dam"},
    {"Hectometers", "", "hm"},
    {"Kilometers", "", "km"},
    {"Megameters", "", "Mm"},
    {"Gigameters", "", "Gm"},
    {"Inches", "", "in"},
    {"Feet", "", "ft"},
    {"Yards", "", "yd yds"},
    {"Miles", "", "mi"},
    {"NauticalMiles", "", "nmi NM"},
    {"AstronomicalUnits", "", "au AU"},
    {"LightYears", "", "ly"},
    {"Parsecs", "", "pc"},
    {"Fathoms", "", "ftm"},
    {"Furlongs", "", "fur"},
    {"Rods", "", "rd"},
    {"Chains", "", "ch"},
    {"Points", "", "pt"},
    // Area
    {"SquareMillimeters", "", "mm² mm2 mm^2 sqmm"},
    {"SquareCentimeters", "", "cm² cm2 cm^2 sqcm"},
    {"SquareDecimeters", "", "dm² dm2 dm^2"},
    {"SquareMeters", "", "m² m2 m^2 sqm"},
    {"SquareDecameters", "", "dam² dam2 dam^2"},
    {"SquareHectometers", "", "hm² hm2 hm^2"},
    {"SquareKilometers", "", "km² km2 km^2 sqkm"},
    {"SquareInches", "", "in² in2 in^2 sqin"},
    {"SquareFeet", "", "ft² ft2 ft^2 sqft"},
    {"SquareYards", "", "yd² yd2 yd^2 sqyd"},
    {"SquareMiles", "", "mi² mi2 mi^2 sqmi"},
    {"Acres", "", "ac"},
    {"Centares", "", "ca"},
    {"Hectares", "", "ha"},
    {"SquareRods", "", "rd² rd2 rd^2 sqrd"},
    // Volume
    {"CubicMillimeters", "", "mm³ mm3 mm^3"},
    {"CubicCentimeters", "", "cm³ cm3 cm^3 cc"},
    {"CubicDecimeters", "", "dm³ dm3 dm^3"},
    {"CubicMeters", "", "m³ m3 m^3"},
    {"CubicDecameters", "", "dam³ dam3 dam^3"},
    {"CubicHectometers", "", "hm³ hm3 hm^3"},
    {"CubicKilometers", "", "km³ km3 km^3"},
    {"CubicInches", "", "in³ in3 in^3 cuin"},
    {"CubicFeet", "", "ft³ ft3 ft^3 cuft"},
    {"CubicYards", "", "yd³ yd3 yd^3 cuyd"},
    {"CubicMiles", "", "mi³ mi3 mi^3 cumi"},
    {"MilliLiters", "", "ml mL"},
    {"CentiLiters", "", "cl cL"},
    {"DeciLiters", "", "dl dL"},
    {"Liters", "", "l L"},
    {"DecaLiters", "", "dal daL"},
    {"HectoLiters", "", "hl hL"},
    {"KiloLiters", "", "kl kL"},
    {"AcreFeet", "", "acft"},
    {"FluidGallons", "gallons, US gallons", "gal"},
    {"FluidQuarts", "quarts, US quarts", "qt"},
    {"FluidPints", "pints, US pints", "pt"},
    {"FluidCups", "cups", ""},
    {"FluidGills", "gills", "gi"},
    {"FluidOunces", "US fluid ounces", "oz floz"},
    {"FluidTablespoons", "tablespoons", "tbsp Tbsp TBSP tbs Tbs"},
    {"FluidTeaspoons", "teaspoons", "tsp"},
    {"DryGallons", "", "drygal"},
    {"DryQuarts", "", "dryqt"},
    {"DryPints", "", "drypt"},
    {"DryPecks", "pecks", "pk"},
    {"DryBuckets", "buckets", ""},
    {"DryBushels", "bushels", "bu"},
    {"UKGallons", "imperial gallons", "ukgal impgal"},
    {"UKPottle", "pottles", ""},
    {"UKQuarts", "imperial quarts", "ukqt impqt"},
    {"UKPints", "imperial pints", "ukpt imppt"},
    {"UKGill", "imperial gills, UK gills", "ukgi impgi"},
    {"UKOunces", "imperial fluid ounces, UK fluid ounces", "ukfloz impfloz"},
    {"UKPecks", "imperial pecks", "ukpk imppk"},
    {"UKBuckets", "imperial buckets", ""},
    {"UKBushels", "imperial bushels", "ukbu impbu"},
    // Mass
    {"Nanograms", "", "ng"},
    {"Micrograms", "", "µg μg ug mcg"},
    {"Milligrams", "", "mg"},
    {"Centigrams", "", "cg"},
    {"Decigrams", "", "dg"},
    {"Grams", "grammes", "g"},
    {"Decagrams", "", "dag"},
    {"Hectograms", "", "hg"},
    {"Kilograms", "kilos", "kg kgs"},
    {"MetricTons", "tonnes", "Mg"},
    {"Drams", "", "dr"},
    {"Grains", "", "gr"},
    {"Tons", "short tons", "tn"},
    {"Ounces", "", "oz"},
    {"Pounds", "", "lb lbs"},
    // Temperature
    {"Celsius", "centigrade, degrees Celsius, degree Celsius", "°C ℃ degC C"},
    {"Kelvin", "kelvins", "K"},
    {"Fahrenheit", "degrees Fahrenheit, degree Fahrenheit", "°F ℉ degF F"},
    {"Rankine", "degrees Rankine, degree Rankine", "°Ra degRa"},
    {"Reaumur", "Réaumur, degrees Reaumur, degree Reaumur", "°Ré °Re degRe"},
    // Time
    {"MilliSeconds", "", "ms msec"},
    {"Seconds", "", "s sec secs"},
    {"Minutes", "", "min mins"},
    {"Hours", "", "h hr hrs"},
    {"Days", "", "d"},
    {"Weeks", "", "wk wks"},
    {"Months", "", "mo mos"},
    {"Years", "", "yr yrs"},
    {"JulianDate", "", "JD"},
    {"ModifiedJulianDate", "", "MJD"},
};

constexpr TRefusedSymbol Refused[] = {
    {"t", "MetricTons Tons"},   {"T", "MetricTons Tons"}, {"a", "Ares Years"},
    {"c", "FluidCups Celsius"}, {"R", "Rankine Reaumur"}, {"°R", "Rankine Reaumur"},
};

constexpr TScaleZero Zeros[] = {
    {"Celsius", -273.15}, {"Kelvin", 0.0},      {"Fahrenheit", -459.67},
    {"Rankine", 0.0},     {"Reaumur", -218.52},
};

}  // namespace

std::span<const TUnitNames> UnitNames() noexcept {
  return Names;
}

std::span<const TRefusedSymbol> RefusedSymbols() noexcept {
  return Refused;
}

std::span<const TScaleZero> ScaleZeros() noexcept {
  return Zeros;
}

std::string OtherNames(std::string_view unit) {
  std::string names;
  for (const TUnitNames& entry : Names) {
    if (entry.Unit != unit) {
      continue;
    }
    const std::pair<std::string_view, std::string_view> lists[] = {{entry.Words, ", "},
                                                                   {entry.Symbols, " "}};
    for (auto [list, separator] : lists) {
      while (!list.empty()) {
        const std::size_t end = std::min(list.find(separator), list.size());
        names += names.empty() ? "" : ", ";
        names += list.substr(0, end);
        list.remove_prefix(std::min(end + separator.size(), list.size()));
      }
    }
  }
  return names;
}

}  // namespace korvalen::cli
