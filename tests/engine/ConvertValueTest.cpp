#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "engine/ConvUtils.h"
#include "platform/runtime/Exceptions.h"
#include "tests/engine/EngineTestSupport.h"

namespace korvalen {
namespace {

using test::RegistrySnapshot;
using test::SameBits;

// Procedures that record how they were called. Plain functions, as TConvProc
// requires, so the record is global; each test resets it.
struct ProcRecord {
  int ToBaseCalls = 0;
  int FromBaseCalls = 0;
  double LastFromBaseArgument = 0.0;
};
ProcRecord gRecord;

double RecordingToBase(double value) {
  ++gRecord.ToBaseCalls;
  return value * 2.0;
}
double RecordingFromBase(double value) {
  ++gRecord.FromBaseCalls;
  gRecord.LastFromBaseArgument = value;
  return value / 2.0;
}
double Throwing(double) {
  throw EConvertError("out of this unit's range");
}
double InfinityMinusInfinity(double value) {
  volatile double infinity = std::numeric_limits<double>::infinity();
  return value + infinity - infinity;
}
double Reciprocal(double value) {
  return 1.0 / value;
}
double Huge(double value) {
  return value * DBL_MAX * 4.0;
}

class ConvertValueTest : public test::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    gRecord = {};
    FDistance = AddConvFamily("Distance");
    FMass = AddConvFamily("Mass");
    FMeters = AddConvType(FDistance, "Meters", 1.0);
    FMillimeters = AddConvType(FDistance, "Millimeters", 0.001);
    FPoints = AddConvType(FDistance, "Points", 0.0003514598);
    FMicrons = AddConvType(FDistance, "Microns", 1e-6);
    FRecorded = AddConvType(FDistance, "Recorded", RecordingToBase, RecordingFromBase);
    FGrams = AddConvType(FMass, "Grams", 1.0);
    FRecordedMass = AddConvType(FMass, "RecordedMass", RecordingToBase, RecordingFromBase);
  }

  TConvFamilyId FDistance = 0, FMass = 0;
  TConvType FMeters = 0, FMillimeters = 0, FPoints = 0, FMicrons = 0, FRecorded = 0, FGrams = 0,
            FRecordedMass = 0;
};

TEST_F(ConvertValueTest, FactorUnitsMultiplyToTheBaseAndDivideBack) {
  EXPECT_TRUE(SameBits(ConvertValue(1.0, FMillimeters, FMillimeters), 1.0));
  EXPECT_TRUE(SameBits(ConvertValue(1.0, FPoints, FPoints), 1.0));
  EXPECT_TRUE(SameBits(ConvertValue(1.0, FMillimeters, FMeters), 0.001));
  EXPECT_TRUE(SameBits(ConvertValue(1.0, FMeters, FMillimeters), 1000.0));
  EXPECT_TRUE(SameBits(ConvertValue(-2.5, FMeters, FMillimeters), -2500.0));
  EXPECT_TRUE(SameBits(ConvertValue(0.0, FPoints, FMicrons), 0.0));
}

TEST_F(ConvertValueTest, BaseValueIsRoundedToDoubleBetweenTheSteps) {
  // One extended product rounded twice; a plain double quotient of the two
  // factors lands one step above.
  EXPECT_TRUE(SameBits(ConvertValue(1.0, FPoints, FMicrons), 351.4598));
  volatile double points = 0.0003514598;
  volatile double microns = 1e-6;
  EXPECT_FALSE(SameBits(points / microns, 351.4598));
  // 3 × 0.001 rounded to double (0.003) is what the second step divides.
  EXPECT_TRUE(SameBits(ConvertValue(3.0, FMillimeters, FRecorded), 0.0015));
  EXPECT_TRUE(SameBits(gRecord.LastFromBaseArgument, 0.003));
  EXPECT_EQ(gRecord.ToBaseCalls, 0);
  EXPECT_EQ(gRecord.FromBaseCalls, 1);
}

TEST_F(ConvertValueTest, ProcedureUnitsGoThroughTheBaseEvenToThemselves) {
  EXPECT_TRUE(SameBits(ConvertValue(5.0, FRecorded, FRecorded), 5.0));
  EXPECT_EQ(gRecord.ToBaseCalls, 1);
  EXPECT_EQ(gRecord.FromBaseCalls, 1);
  EXPECT_TRUE(SameBits(ConvertValue(5.0, FRecorded, FMillimeters), 10000.0));
}

struct IncompatibleRow {
  const char* name;
  TConvType from;
  TConvType to;
  const char* message;
};

void PrintTo(const IncompatibleRow& row, std::ostream* os) {
  *os << row.name;
}

// Identifiers as ConvertValueTest registers them: Meters 1, Millimeters 2,
// Points 3, Microns 4, Recorded 5, Grams 6, RecordedMass 7; Removed 8.
const IncompatibleRow kIncompatibleRows[] = {
    {"DifferentFamilies", 1, 6, "Incompatible conversion types [Meters, Grams]"},
    {"DifferentFamiliesProcedures", 5, 7, "Incompatible conversion types [Recorded, RecordedMass]"},
    {"BothIllegal", 0, 0, "Incompatible conversion types [Illegal type, Illegal type]"},
    {"FromIllegal", 0, 1, "Incompatible conversion types [Illegal type, Meters]"},
    {"ToIllegal", 5, 0, "Incompatible conversion types [Recorded, Illegal type]"},
    {"FromUnregistered", 1000, 2, "Incompatible conversion types [[000003E8], Millimeters]"},
    {"ToUnregistered", 2, 65535, "Incompatible conversion types [Millimeters, [0000FFFF]]"},
    {"FromRemovedFamily", 8, 5, "Incompatible conversion types [[00000008], Recorded]"},
};

class IncompatibleTest : public ConvertValueTest,
                         public testing::WithParamInterface<IncompatibleRow> {};

TEST_P(IncompatibleTest, RaisesWithBothDescriptionsAndComputesNothing) {
  const IncompatibleRow& row = GetParam();
  RemoveConvFamily(AddConvFamily("Removed"));  // nothing to remove
  const TConvFamilyId removed = AddConvFamily("RemovedToo");
  ASSERT_EQ(AddConvType(removed, "Gone", RecordingToBase, RecordingFromBase), 8);
  RemoveConvFamily(removed);
  const RegistrySnapshot before;
  try {
    ConvertValue(1.0, row.from, row.to);
    ADD_FAILURE() << "no error";
  } catch (const EConversionError& e) {
    EXPECT_EQ(std::string(e.what()), row.message);
  }
  EXPECT_EQ(gRecord.ToBaseCalls + gRecord.FromBaseCalls, 0);
  EXPECT_EQ(RegistrySnapshot{}, before);
}

std::string IncompatibleRowName(const testing::TestParamInfo<IncompatibleRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, IncompatibleTest, testing::ValuesIn(kIncompatibleRows),
                         IncompatibleRowName);

TEST_F(ConvertValueTest, ProcedureErrorsPassUnchanged) {
  const TConvType failing = AddConvType(FDistance, "Failing", Throwing, Throwing);
  for (const auto& [from, to] : {std::pair{failing, FMeters}, std::pair{FMeters, failing}}) {
    try {
      ConvertValue(1.0, from, to);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "out of this unit's range");
    }
  }
}

// These hold in the optimised build as much as in any other: each step's
// flags are read where the step happens.
TEST_F(ConvertValueTest, FloatingPointFaultsRaiseTheirErrors) {
  const TConvType huge = AddConvType(FDistance, "Huge", 1e300);
  const TConvType tiny = AddConvType(FDistance, "Tiny", 1e-300);
  const TConvType invalid =
      AddConvType(FDistance, "Invalid", InfinityMinusInfinity, InfinityMinusInfinity);
  const TConvType reciprocal = AddConvType(FDistance, "Reciprocal", Reciprocal, Reciprocal);
  const TConvType overflowing = AddConvType(FDistance, "Overflowing", Huge, Huge);
  EXPECT_THROW(ConvertValue(1e300, huge, FMeters), EOverflow);    // product
  EXPECT_THROW(ConvertValue(1e300, FMeters, tiny), EOverflow);    // quotient
  EXPECT_THROW(ConvertValue(DBL_MAX, huge, huge), EOverflow);     // base value
  EXPECT_THROW(ConvertValue(1.0, invalid, FMeters), EInvalidOp);  // procedure
  EXPECT_THROW(ConvertValue(1.0, FMeters, invalid), EInvalidOp);
  EXPECT_THROW(ConvertValue(0.0, reciprocal, FMeters), EZeroDivide);
  EXPECT_THROW(ConvertValue(1.0, overflowing, FMeters), EOverflow);
  try {
    ConvertValue(1e300, huge, FMeters);
  } catch (const EMathError& e) {
    EXPECT_EQ(std::string(e.what()), "Floating point overflow");
  }
  // A fault never lingers into the next conversion.
  EXPECT_TRUE(SameBits(ConvertValue(2.0, huge, huge), 2.0));
  EXPECT_TRUE(SameBits(ConvertValue(0.5, reciprocal, FMeters), 2.0));
}

// Values at the edges of the double range through two factor steps (Meters
// factor 1, Millimeters 0.001, Gigameters 1e9): quiet NaNs and infinities
// come back bit for bit, a signalling NaN is an invalid operation, results
// beyond the range overflow, results below it round to denormals or zero.
TEST_F(ConvertValueTest, EdgeValuesThroughFactorSteps) {
  const TConvType gigameters = AddConvType(FDistance, "Gigameters", 1e9);
  const double infinity = std::numeric_limits<double>::infinity();
  const double quiet = std::bit_cast<double>(0x7FF8000000012345u);
  const double negativeQuiet = std::bit_cast<double>(0xFFF80000000ABCDEu);
  const double signalling = std::bit_cast<double>(0x7FF0000000000001u);
  const double negativeSignalling = std::bit_cast<double>(0xFFF4000000000000u);
  struct Row {
    double value;
    TConvType from;
    TConvType to;
    double expected;
  };
  for (const Row& row : {
           Row{quiet, FMillimeters, FMeters, quiet},
           Row{negativeQuiet, gigameters, FMillimeters, negativeQuiet},
           Row{infinity, FMillimeters, gigameters, infinity},
           Row{-infinity, gigameters, FMillimeters, -infinity},
           Row{DBL_MAX, FMeters, FMeters, DBL_MAX},
           // 1e-300 ÷ 1e9 and 5e-324 × 0.001 fall below the normal range.
           Row{1e-300, FMeters, gigameters, 0x0.0b8157268fdafp-1022},
           Row{std::numeric_limits<double>::denorm_min(), FMillimeters, FMeters, 0.0},
           Row{-std::numeric_limits<double>::denorm_min(), FMillimeters, FMeters, -0.0},
       }) {
    EXPECT_TRUE(SameBits(ConvertValue(row.value, row.from, row.to), row.expected))
        << row.value << " from " << row.from << " to " << row.to;
  }
  for (const double value : {signalling, negativeSignalling}) {
    EXPECT_THROW(ConvertValue(value, FMillimeters, FMeters), EInvalidOp);
    EXPECT_THROW(ConvertValue(value, FRecorded, FMeters), EInvalidOp);  // in a procedure
  }
  EXPECT_THROW(ConvertValue(DBL_MAX, gigameters, FMeters), EOverflow);
  EXPECT_THROW(ConvertValue(-DBL_MAX, FMeters, FMillimeters), EOverflow);
  EXPECT_THROW(ConvertValue(1e306, FMillimeters, FMicrons), EOverflow);  // the quotient
}

TEST_F(ConvertValueTest, UnderflowAndOddValuesPassSilently) {
  const TConvType tiny = AddConvType(FDistance, "Tiny", 1e-300);
  const double denormal = std::numeric_limits<double>::denorm_min();
  EXPECT_TRUE(SameBits(ConvertValue(1e-300, tiny, FMeters), 0.0));
  EXPECT_TRUE(SameBits(ConvertValue(denormal, FMeters, FMeters), denormal));
  EXPECT_TRUE(SameBits(ConvertValue(-0.0, FMillimeters, FMeters), -0.0));
  // A NaN or infinite value is no fault of the step: it comes back in kind.
  EXPECT_TRUE(
      std::isnan(ConvertValue(std::numeric_limits<double>::quiet_NaN(), FMillimeters, FMeters)));
  EXPECT_EQ(ConvertValue(-std::numeric_limits<double>::infinity(), FMillimeters, FMeters),
            -std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace korvalen
