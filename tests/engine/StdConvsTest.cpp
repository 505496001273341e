#include "engine/StdConvs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/ConvUtils.h"
#include "format/FormatResult.h"
#include "platform/runtime/Exceptions.h"
#include "tests/engine/EngineTestSupport.h"

namespace korvalen {
namespace {

using test::SameBits;

class StdConvsTest : public test::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    RegisterStandardUnits();
  }
  void TearDown() override {
    UnregisterStandardUnits();
    RegistryTest::TearDown();
  }

  static TConvType Type(const char* family, const char* description) {
    TConvFamilyId familyId = IllegalFamilyId;
    TConvType type = IllegalTypeId;
    EXPECT_TRUE(FamilyFromDescription(family, familyId)) << family;
    EXPECT_TRUE(TypeFromDescription(familyId, description, type)) << description;
    return type;
  }
  static double Convert(double value, const char* family, const char* from, const char* to) {
    return ConvertValue(value, Type(family, from), Type(family, to));
  }
};

// The catalogue written out a second time, independently of the engine's
// tables: identifier order, description, and factor (0 for a procedure unit).
struct CatalogueFamily {
  const char* description;
  TConvType first;
  std::vector<std::pair<const char*, double>> units;
};

const std::vector<CatalogueFamily>& Catalogue() {
  static const std::vector<CatalogueFamily> catalogue = {
      {"Distance",
       1,
       {{"Micromicrons", 1e-12},
        {"Angstroms", 1e-10},
        {"Millimicrons", 1e-9},
        {"Microns", 1e-6},
        {"Millimeters", 0.001},
        {"Centimeters", 0.01},
        {"Decimeters", 0.1},
        {"Meters", 1},
        {"Decameters", 10},
        {"Hectometers", 100},
        {"Kilometers", 1000},
        {"Megameters", 1000000},
        {"Gigameters", 1000000000},
        {"Inches", 0.0254},
        {"Feet", 0.3048},
        {"Yards", 0.9144},
        {"Miles", 1609.344},
        {"NauticalMiles", 1852},
        {"AstronomicalUnits", 149598000000.0},
        {"LightYears", 9460528404879358.0},
        {"Parsecs", 30856802484953068.0},
        {"Cubits", 0.4572},
        {"Fathoms", 1.8288},
        {"Furlongs", 201.168},
        {"Hands", 0.1016},
        {"Paces", 0.762},
        {"Rods", 5.0292},
        {"Chains", 20.1168},
        {"Links", 0.201168},
        {"Picas", 0.0042175176},
        {"Points", 0.0003514598}}},
      {"Area",
       32,
       {{"SquareMillimeters", 1e-6},
        {"SquareCentimeters", 0.0001},
        {"SquareDecimeters", 0.01},
        {"SquareMeters", 1},
        {"SquareDecameters", 100},
        {"SquareHectometers", 10000},
        {"SquareKilometers", 1000000},
        {"SquareInches", 0.00064516},
        {"SquareFeet", 0.09290304},
        {"SquareYards", 0.83612736},
        {"SquareMiles", 2589988.110336},
        {"Acres", 4046.8564224},
        {"Centares", 1},
        {"Ares", 100},
        {"Hectares", 10000},
        {"SquareRods", 25.29285264}}},
      {"Volume",
       48,
       {{"CubicMillimeters", 1e-9},
        {"CubicCentimeters", 1e-6},
        {"CubicDecimeters", 0.001},
        {"CubicMeters", 1},
        {"CubicDecameters", 1000},
        {"CubicHectometers", 1000000},
        {"CubicKilometers", 1000000000},
        {"CubicInches", 1.6387064e-5},
        {"CubicFeet", 0.028316846592},
        {"CubicYards", 0.764554857984},
        {"CubicMiles", 4168181825.4405794},
        {"MilliLiters", 1e-6},
        {"CentiLiters", 1e-5},
        {"DeciLiters", 0.0001},
        {"Liters", 0.001},
        {"DecaLiters", 0.01},
        {"HectoLiters", 0.1},
        {"KiloLiters", 1},
        {"AcreFeet", 1233.48183754752},
        {"AcreInches", 102.79015312896},
        {"Cords", 3.624556363776},
        {"CordFeet", 0.453069545472},
        {"Decisteres", 0.1},
        {"Steres", 1},
        {"Decasteres", 10},
        {"FluidGallons", 0.003785411784},
        {"FluidQuarts", 0.000946352946},
        {"FluidPints", 0.000473176473},
        {"FluidCups", 0.0002365882365},
        {"FluidGills", 0.00011829411825},
        {"FluidOunces", 2.95735295625e-5},
        {"FluidTablespoons", 1.478676478125e-5},
        {"FluidTeaspoons", 4.92892159375e-6},
        {"DryGallons", 0.00440488377086},
        {"DryQuarts", 0.001101220942715},
        {"DryPints", 0.0005506104713575},
        {"DryPecks", 0.00880976754172},
        {"DryBuckets", 0.01761953508344},
        {"DryBushels", 0.03523907016688},
        {"UKGallons", 0.00454609},
        {"UKPottle", 0.002273045},
        {"UKQuarts", 0.0011365225},
        {"UKPints", 0.00056826125},
        {"UKGill", 0.0001420653125},
        {"UKOunces", 2.84130625e-5},
        {"UKPecks", 0.00909218},
        {"UKBuckets", 0.01818436},
        {"UKBushels", 0.03636872}}},
      {"Mass",
       96,
       {{"Nanograms", 1e-9},
        {"Micrograms", 1e-6},
        {"Milligrams", 0.001},
        {"Centigrams", 0.01},
        {"Decigrams", 0.1},
        {"Grams", 1},
        {"Decagrams", 10},
        {"Hectograms", 100},
        {"Kilograms", 1000},
        {"MetricTons", 1000000},
        {"Drams", 1.7718451953125},
        {"Grains", 0.06479891},
        {"Tons", 907184.74},
        {"LongTons", 1016046.9088},
        {"Ounces", 28.349523125},
        {"Pounds", 453.59237}}},
      {"Temperature",
       112,
       {{"Celsius", 1}, {"Kelvin", 0}, {"Fahrenheit", 0}, {"Rankine", 0}, {"Reaumur", 0}}},
      {"Time",
       117,
       {{"MilliSeconds", 1.1574074074074074e-8},
        {"Seconds", 1.1574074074074073e-5},
        {"Minutes", 0.0006944444444444445},
        {"Hours", 0.041666666666666664},
        {"Days", 1},
        {"Weeks", 7},
        {"Fortnights", 14},
        {"Months", 30.4375},
        {"Years", 365.25},
        {"Decades", 3652.5},
        {"Centuries", 36525},
        {"Millennia", 365250},
        {"DateTime", 1},
        {"JulianDate", 0},
        {"ModifiedJulianDate", 0}}},
  };
  return catalogue;
}

TEST_F(StdConvsTest, RegistersTheCatalogueWithItsIdentifiersDescriptionsAndFactors) {
  EXPECT_EQ(detail::LastConvFamilyId(), 6);
  EXPECT_EQ(detail::LastConvType(), 131);
  TConvFamilyId familyId = 0;
  for (const CatalogueFamily& family : Catalogue()) {
    SCOPED_TRACE(family.description);
    ++familyId;
    EXPECT_EQ(DescriptionOfFamily(familyId), family.description);
    TConvTypeArray types;
    TypesOfFamily(familyId, types);
    ASSERT_EQ(types.size(), family.units.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
      const auto& [description, factor] = family.units[i];
      EXPECT_EQ(types[i], family.first + i);
      TConvTypeInfo* info = nullptr;
      ASSERT_TRUE(FindTypeInfo(types[i], info));
      EXPECT_EQ(info->Description(), description);
      const auto* factorUnit = dynamic_cast<const TConvTypeFactor*>(info);
      if (factor == 0) {
        EXPECT_NE(dynamic_cast<const TConvTypeProcs*>(info), nullptr) << description;
      } else if (factorUnit == nullptr) {
        ADD_FAILURE() << description << " is not a factor unit";
      } else {
        EXPECT_TRUE(SameBits(factorUnit->Factor(), factor)) << description;
        // Any factor unit converted to itself gives exactly 1.
        EXPECT_TRUE(SameBits(ConvertValue(1.0, types[i], types[i]), 1.0)) << description;
      }
    }
  }
}

struct ConversionRow {
  const char* family;
  const char* from;
  const char* to;
  double value;
  const char* shown;
};

void PrintTo(const ConversionRow& row, std::ostream* os) {
  *os << row.from << " to " << row.to;
}

// One unit of each, as the conversion window asks, with the figure it shows.
const ConversionRow kConversionRows[] = {
    {"Volume", "FluidGallons", "Liters", 3.785411784, "3.79"},
    {"Volume", "Liters", "FluidGallons", 0.2641720523581484, "0.26"},
    {"Volume", "UKGallons", "FluidGallons", 1.2009499255048548, "1.20"},
    {"Volume", "CubicFeet", "Liters", 28.316846592, "28.32"},
    {"Volume", "CubicMeters", "FluidGallons", 264.1720523581484, "264.17"},
    {"Volume", "FluidTablespoons", "FluidTeaspoons", 3.0000000000000004, "3.00"},
    {"Volume", "KiloLiters", "Steres", 1, "1.00"},
    {"Mass", "Pounds", "Kilograms", 0.45359237, "0.45"},
    {"Mass", "Kilograms", "Pounds", 2.2046226218487757, "2.20"},
    {"Mass", "MetricTons", "Tons", 1.1023113109243878, "1.10"},
    {"Mass", "LongTons", "Tons", 1.1199999999999999, "1.12"},
    {"Mass", "Ounces", "Grams", 28.349523125, "28.35"},
    {"Mass", "Centigrams", "Decigrams", 0.09999999999999999, "0.10"},
    {"Mass", "Grains", "Tons", 7.142857142857144e-8, "0.00"},
    {"Volume", "FluidPints", "FluidGallons", 0.125, "0.13"},
    {"Volume", "CubicMeters", "CubicMillimeters", 999999999.9999999, "1000000000.00"},
    {"Volume", "CubicMiles", "CubicMillimeters", 4.168181825440579e18, "4.16818182544058E18"},
    {"Distance", "Points", "Microns", 351.4598, "351.46"},
};

class StdConversionTest : public StdConvsTest, public testing::WithParamInterface<ConversionRow> {};

TEST_P(StdConversionTest, OneUnitGivesTheListedValueBitForBit) {
  const test::SeparatorGuard separators('.', ',');
  const ConversionRow& row = GetParam();
  const double value = Convert(1.0, row.family, row.from, row.to);
  EXPECT_TRUE(SameBits(value, row.value));
  EXPECT_EQ(FormatResult(value), row.shown);
}

std::string ConversionRowName(const testing::TestParamInfo<ConversionRow>& row) {
  return std::string(row.param.from) + "To" + row.param.to;
}

INSTANTIATE_TEST_SUITE_P(Window, StdConversionTest, testing::ValuesIn(kConversionRows),
                         ConversionRowName);

struct ValueRow {
  const char* name;
  const char* family;
  const char* from;
  const char* to;
  double value;
  double expected;
};

void PrintTo(const ValueRow& row, std::ostream* os) {
  *os << row.name;
}

const ValueRow kValueRows[] = {
    {"KelvinThroughCelsiusToKelvin", "Temperature", "Kelvin", "Kelvin", 1, 1.0000000000000226},
    {"FahrenheitThroughCelsius", "Temperature", "Fahrenheit", "Fahrenheit", 1, 1.0000000000000013},
    {"BoilingCelsiusInFahrenheit", "Temperature", "Celsius", "Fahrenheit", 100, 212},
    {"BoilingFahrenheitInKelvin", "Temperature", "Fahrenheit", "Kelvin", 212, 373.15},
    {"AbsoluteZeroKelvinInCelsius", "Temperature", "Kelvin", "Celsius", 0, -273.15},
    {"ReaumurToCelsius", "Temperature", "Reaumur", "Celsius", 80, 100},
    {"CelsiusToReaumur", "Temperature", "Celsius", "Reaumur", 100, 80},
    {"ZeroRankineOneStepBelow", "Temperature", "Rankine", "Celsius", 0, -273.15000000000003},
    {"HoursInMinutes", "Time", "Hours", "Minutes", 1, 59.99999999999999},
    {"MinutesInSeconds", "Time", "Minutes", "Seconds", 1, 60.00000000000001},
    {"YearsInMonths", "Time", "Years", "Months", 1, 12},
    {"DecadesInYears", "Time", "Decades", "Years", 1, 10},
    {"DateTimeZeroAsJulian", "Time", "DateTime", "JulianDate", 0, 2415018.5},
    {"DateTimeZeroAsModifiedJulian", "Time", "DateTime", "ModifiedJulianDate", 0, 15018},
    {"JulianEveningInDays", "Time", "JulianDate", "Days", 2415019.25, 0.75},
    {"ModifiedJulianZeroInDays", "Time", "ModifiedJulianDate", "Days", 0, -15018},
    {"FirstDayOfYearOne", "Time", "JulianDate", "DateTime", 1721425.5, -693593},
    {"LastDayOfYear9999", "Time", "DateTime", "JulianDate", 2958465, 5373483.5},
    {"JulianToModifiedJulian", "Time", "JulianDate", "ModifiedJulianDate", 2451545.0, 51544.5},
    {"NoonIsHalfADay", "Time", "DateTime", "JulianDate", 0.5, 2415019},
    {"NegativeSerialKeepsItsSignedFraction", "Time", "DateTime", "JulianDate", -1.25, 2415017.25},
    // Serials decode beyond the encodable years, to the end of year 65535.
    {"FirstDayOfYear10000", "Time", "DateTime", "JulianDate", 2958466, 5373484.5},
    {"ThreeMillionDaysAsJulian", "Time", "Days", "JulianDate", 3000000, 5415018.5},
    {"HundredCenturiesAsModifiedJulian", "Time", "Centuries", "ModifiedJulianDate", 100, 3667518},
    {"LastDayOfYear65535", "Time", "DateTime", "JulianDate", 23242572.75, 25657591.25},
};

class StdValueTest : public StdConvsTest, public testing::WithParamInterface<ValueRow> {};

TEST_P(StdValueTest, GivesTheStatedValueBitForBit) {
  const ValueRow& row = GetParam();
  EXPECT_TRUE(SameBits(Convert(row.value, row.family, row.from, row.to), row.expected));
}

std::string ValueRowName(const testing::TestParamInfo<ValueRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Examples, StdValueTest, testing::ValuesIn(kValueRows), ValueRowName);

TEST_F(StdConvsTest, FreezingRankineIsNotQuiteZero) {
  const double celsius = Convert(491.67, "Temperature", "Rankine", "Celsius");
  EXPECT_NE(celsius, 0.0);
  EXPECT_NEAR(celsius, 7.9e-15, 0.05e-15);
}

// The procedure computes in range at extended precision; only its rounding
// to double overflows, and that is caught as well.
TEST_F(StdConvsTest, ProcedureResultBeyondTheDoubleRangeOverflows) {
  EXPECT_THROW(Convert(1.7e308, "Temperature", "Celsius", "Fahrenheit"), EOverflow);
  EXPECT_THROW(Convert(-1.7e308, "Temperature", "Reaumur", "Kelvin"), EOverflow);
  EXPECT_TRUE(SameBits(Convert(-1.7e308, "Temperature", "Celsius", "Kelvin"), -1.7e308));
}

struct JulianFailureRow {
  const char* name;
  const char* from;
  const char* to;
  double value;
  const char* message;
};

void PrintTo(const JulianFailureRow& row, std::ostream* os) {
  *os << row.name;
}

const JulianFailureRow kJulianFailureRows[] = {
    {"YearTenThousand", "JulianDate", "DateTime", 5373484.5,
     "5373484.50 Julian cannot be represented as a DateTime"},
    {"YearZero", "JulianDate", "DateTime", 1721424.5,
     "1721424.50 Julian cannot be represented as a DateTime"},
    {"ModifiedShowsTheJulianDate", "ModifiedJulianDate", "Days", 2973484,
     "5373484.50 Julian cannot be represented as a DateTime"},
    {"NegativeJulianDate", "JulianDate", "Days", -0.125,
     "-0.13 Julian cannot be represented as a DateTime"},
    // Beyond the 32-bit integer steps: refused before any of them.
    {"TooLargeForIntegerSteps", "JulianDate", "Days", 1e9,
     "1000000000.00 Julian cannot be represented as a DateTime"},
    {"JustTooLarge", "JulianDate", "Days", 5e8,
     "500000000.00 Julian cannot be represented as a DateTime"},
    {"HugeNegative", "JulianDate", "Days", -3e12,
     "-3000000000000.00 Julian cannot be represented as a DateTime"},
    // A serial that decodes to no date is named as given: the caller gave no
    // Julian date.
    {"SerialInYearZero", "Days", "JulianDate", -693594,
     "Serial -693594.00 cannot be decoded as a date"},
    {"SerialInYear65536", "DateTime", "JulianDate", 23242573,
     "Serial 23242573.00 cannot be decoded as a date"},
    {"SerialRoundsIntoYear65536", "Days", "ModifiedJulianDate", 23242572.999999996,
     "Serial 23242573.00 cannot be decoded as a date"},
    {"HugeSerial", "Days", "JulianDate", 1e300, "Serial 1E300 cannot be decoded as a date"},
};

class JulianFailureTest : public StdConvsTest,
                          public testing::WithParamInterface<JulianFailureRow> {};

TEST_P(JulianFailureTest, RaisesConvertErrorNamingTheValueGiven) {
  const test::SeparatorGuard separators('.', ',');
  const JulianFailureRow& row = GetParam();
  try {
    Convert(row.value, "Time", row.from, row.to);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), row.message);
  }
}

std::string JulianFailureRowName(const testing::TestParamInfo<JulianFailureRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, JulianFailureTest, testing::ValuesIn(kJulianFailureRows),
                         JulianFailureRowName);

TEST_F(StdConvsTest, DateMessagesUseTheUsersDecimalSeparator) {
  const test::SeparatorGuard separators(',', '.');
  struct Row {
    const char* from;
    const char* to;
    double value;
    const char* message;
  };
  for (const Row& row : {Row{"JulianDate", "DateTime", 5373484.5,
                             "5373484,50 Julian cannot be represented as a DateTime"},
                         Row{"DateTime", "JulianDate", -693594.25,
                             "Serial -693594,25 cannot be decoded as a date"}}) {
    try {
      Convert(row.value, "Time", row.from, row.to);
      ADD_FAILURE() << "no error for " << row.message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), row.message);
    }
  }
}

TEST_F(StdConvsTest, NotANumberOrInfinityIsNoJulianDate) {
  for (const double value : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    for (const auto& [from, to] :
         {std::pair{"JulianDate", "Days"}, std::pair{"ModifiedJulianDate", "Days"},
          std::pair{"Days", "JulianDate"}, std::pair{"Days", "ModifiedJulianDate"}}) {
      EXPECT_THROW(Convert(value, "Time", from, to), EConvertError)
          << value << " " << from << " to " << to;
    }
  }
}

// A serial within half a millisecond of midnight belongs to the next day,
// and its time of day is then taken from that day: not a day late.
TEST_F(StdConvsTest, SerialJustBeforeMidnightStaysOnItsDay) {
  EXPECT_NEAR(Convert(0.9999999999, "Time", "DateTime", "JulianDate"), 2415019.5, 1e-6);
  EXPECT_NEAR(Convert(0.9999999999, "Time", "DateTime", "ModifiedJulianDate"), 15019.0, 1e-6);
  EXPECT_NEAR(Convert(-0.9999999999, "Time", "DateTime", "JulianDate"), 2415017.5, 1e-6);
  EXPECT_NEAR(Convert(2958465.9999999, "Time", "DateTime", "JulianDate"), 5373484.5, 1e-6);
}

TEST_F(StdConvsTest, JulianDatesRoundTripAtMidnightAndNoon) {
  for (double serial = -693593.0; serial <= 2958465.0; serial += 997.0) {
    for (const double time : {0.0, 0.5}) {
      const double dateTime = serial + time;
      const double julian = Convert(dateTime, "Time", "DateTime", "JulianDate");
      ASSERT_TRUE(SameBits(julian, dateTime + 2415018.5)) << dateTime;
      ASSERT_TRUE(SameBits(Convert(julian, "Time", "JulianDate", "DateTime"), dateTime))
          << dateTime;
    }
  }
}

TEST_F(StdConvsTest, UnregisteringRemovesEveryFamilyAndType) {
  UnregisterStandardUnits();
  TConvFamilyId family = 0;
  for (const CatalogueFamily& entry : Catalogue()) {
    EXPECT_FALSE(FamilyFromDescription(entry.description, family)) << entry.description;
  }
  for (TConvType type = 1; type <= 131; ++type) {
    EXPECT_EQ(DescriptionOfType(type), FormatHexId(type));
  }
  // A second removal, and the fixture's, have nothing left to do.
  UnregisterStandardUnits();
  EXPECT_EQ(detail::LastConvType(), 131);
}

TEST_F(StdConvsTest, RegisteringTwiceIsRefusedAndChangesNothing) {
  const test::RegistrySnapshot before;
  try {
    RegisterStandardUnits();
    ADD_FAILURE() << "no error";
  } catch (const EConversionError& e) {
    EXPECT_EQ(std::string(e.what()), "Conversion family (Distance) already registered");
  }
  EXPECT_EQ(test::RegistrySnapshot{}, before);
  EXPECT_TRUE(SameBits(Convert(1, "Mass", "Kilograms", "Pounds"), 2.2046226218487757));
}

TEST_F(StdConvsTest, RefusedRegistrationLeavesNoFamilyBehind) {
  UnregisterStandardUnits();
  const TConvFamilyId mass = AddConvFamily("MASS");
  try {
    RegisterStandardUnits();
    ADD_FAILURE() << "no error";
  } catch (const EConversionError& e) {
    EXPECT_EQ(std::string(e.what()), "Conversion family (Mass) already registered");
  }
  TConvFamilyId family = 0;
  for (const char* gone : {"Distance", "Area", "Volume", "Temperature", "Time"}) {
    EXPECT_FALSE(FamilyFromDescription(gone, family)) << gone;
  }
  TConvTypeArray types;
  for (TConvFamilyId id = 1; id <= detail::LastConvFamilyId(); ++id) {
    TypesOfFamily(id, types);
    EXPECT_TRUE(types.empty()) << id;
  }
  EXPECT_EQ(DescriptionOfFamily(mass), "MASS");
}

}  // namespace
}  // namespace korvalen
