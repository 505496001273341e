#include "engine/ConvUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/runtime/Exceptions.h"
#include "tests/engine/EngineTestSupport.h"

namespace korvalen {
namespace {

using test::RegistrySnapshot;
using test::RegistryTest;

double Identity(double value) {
  return value;
}

// Runs a call that must fail and returns the error's class and message.
enum class ErrorKind { None, Conversion, ZeroDivide, Other };

struct Failure {
  ErrorKind Kind = ErrorKind::None;
  std::string Message;
};

template <typename Call>
Failure FailureOf(Call call) {
  try {
    call();
  } catch (const EZeroDivide& e) {
    return {ErrorKind::ZeroDivide, e.what()};
  } catch (const EConversionError& e) {
    return {ErrorKind::Conversion, e.what()};
  } catch (const std::exception& e) {
    return {ErrorKind::Other, e.what()};
  }
  return {};
}

class ConvRegistryTest : public RegistryTest {};

TEST_F(ConvRegistryTest, NumbersFamiliesAndTypesFromOneInOneSequence) {
  EXPECT_EQ(AddConvFamily("Volume"), 1);
  EXPECT_EQ(AddConvFamily("Mass"), 2);
  EXPECT_EQ(AddConvType(1, "Liters", 0.001), 1);
  EXPECT_EQ(AddConvType(1, "CubicMeters", 1.0), 2);
  EXPECT_EQ(AddConvType(1, "Steres", 1.0), 3);
  EXPECT_EQ(AddConvType(2, "Grams", 1.0), 4);
  EXPECT_EQ(AddConvType(2, "Kilograms", 1000.0), 5);
}

TEST_F(ConvRegistryTest, ListsGrowSixteenBeyondANumberThatDoesNotFit) {
  EXPECT_EQ(detail::ConvTypeListLength(), 0u);
  const TConvFamilyId family = AddConvFamily("Time");
  EXPECT_EQ(detail::ConvFamilyListLength(), 17u);
  struct Step {
    TConvType id;
    std::size_t length;
  };
  for (const Step step :
       {Step{1, 17}, Step{2, 17}, Step{16, 17}, Step{17, 33}, Step{18, 33}, Step{33, 49}}) {
    while (detail::LastConvType() < step.id) {
      AddConvType(family, "Unit " + std::to_string(detail::LastConvType() + 1), 1.0);
    }
    EXPECT_EQ(detail::ConvTypeListLength(), step.length) << "after " << step.id;
  }
  for (int i = 2; i <= 16; ++i) {
    AddConvFamily("Family " + std::to_string(i));
  }
  EXPECT_EQ(detail::ConvFamilyListLength(), 17u);
  AddConvFamily("Family 17");
  EXPECT_EQ(detail::ConvFamilyListLength(), 33u);
}

TEST_F(ConvRegistryTest, DuplicateFamilyIsRefusedWithTheDescriptionAsPassed) {
  AddConvFamily("Volume");
  const RegistrySnapshot before;
  const Failure failure = FailureOf([] { AddConvFamily("volume"); });
  EXPECT_EQ(failure.Kind, ErrorKind::Conversion);
  EXPECT_EQ(failure.Message, "Conversion family (volume) already registered");
  EXPECT_EQ(RegistrySnapshot{}, before);
  EXPECT_EQ(AddConvFamily("Mass"), 2);
}

TEST_F(ConvRegistryTest, DuplicateTypeIsRefusedAndItsNumberGoesToTheNext) {
  const TConvFamilyId volume = AddConvFamily("Volume");
  const TConvFamilyId mass = AddConvFamily("Mass");
  AddConvType(volume, "Liters", 0.001);
  const RegistrySnapshot before;
  const Failure failure = FailureOf([&] { AddConvType(volume, "liters", 0.001); });
  EXPECT_EQ(failure.Kind, ErrorKind::Conversion);
  EXPECT_EQ(failure.Message, "Conversion type (liters) already registered in Volume");
  EXPECT_EQ(RegistrySnapshot{}, before);
  EXPECT_EQ(AddConvType(mass, "Liters", 1.0), 2);
  TConvTypeArray types;
  TypesOfFamily(volume, types);
  EXPECT_EQ(types, TConvTypeArray{1});
}

// Each row is wrong in one or more ways; only the first failing check
// (family, then factor or procedures, then duplicate) is reported.
struct AddTypeRow {
  const char* name;
  TConvFamilyId family;
  const char* description;
  double factor;  // used when the procedures are not given
  bool procedureForm;
  TConvProc toBase;
  TConvProc fromBase;
  ErrorKind kind;
  const char* message;
};

void PrintTo(const AddTypeRow& row, std::ostream* os) {
  *os << row.name;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const AddTypeRow kAddTypeRows[] = {
    {"FamilyZero", 0, "Grams", 1.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000000]"},
    {"FamilyNeverHandedOut", 9, "Grams", 1.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000009]"},
    {"FamilyLargest", 65535, "Grams", 1.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [0000FFFF]"},
    {"FamilyRemoved", 2, "Grams", 1.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000002]"},
    {"FamilyBeforeZeroFactor", 0, "Grams", 0.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000000]"},
    {"ZeroFactor", 1, "Grams", 0.0, false, nullptr, nullptr, ErrorKind::ZeroDivide,
     "Grams has a factor of zero"},
    {"NegativeZeroFactor", 1, "Grams", -0.0, false, nullptr, nullptr, ErrorKind::ZeroDivide,
     "Grams has a factor of zero"},
    {"ZeroFactorBeforeDuplicate", 1, "POUNDS", 0.0, false, nullptr, nullptr, ErrorKind::ZeroDivide,
     "POUNDS has a factor of zero"},
    {"NaNFactor", 1, "Grams", kNaN, false, nullptr, nullptr, ErrorKind::Conversion,
     "Grams has a factor that is not a finite number"},
    {"InfiniteFactor", 1, "Grams", kInf, false, nullptr, nullptr, ErrorKind::Conversion,
     "Grams has a factor that is not a finite number"},
    {"NegativeInfiniteFactorBeforeDuplicate", 1, "Pounds", -kInf, false, nullptr, nullptr,
     ErrorKind::Conversion, "Pounds has a factor that is not a finite number"},
    {"FamilyBeforeNaNFactor", 7, "Grams", kNaN, false, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000007]"},
    {"DuplicateFactorUnit", 1, "pounds", 2.0, false, nullptr, nullptr, ErrorKind::Conversion,
     "Conversion type (pounds) already registered in Mass"},
    {"MissingToBase", 1, "Grams", 0.0, true, nullptr, Identity, ErrorKind::Conversion,
     "Grams has no conversion procedure"},
    {"MissingFromBase", 1, "Grams", 0.0, true, Identity, nullptr, ErrorKind::Conversion,
     "Grams has no conversion procedure"},
    {"MissingProcedureBeforeDuplicate", 1, "Pounds", 0.0, true, nullptr, nullptr,
     ErrorKind::Conversion, "Pounds has no conversion procedure"},
    {"FamilyBeforeMissingProcedure", 0, "Grams", 0.0, true, nullptr, nullptr, ErrorKind::Conversion,
     "Unknown conversion family [00000000]"},
    {"DuplicateProcedureUnit", 1, "POUNDS", 0.0, true, Identity, Identity, ErrorKind::Conversion,
     "Conversion type (POUNDS) already registered in Mass"},
    {"RemovedFamilyProcedureUnit", 2, "Grams", 0.0, true, Identity, Identity, ErrorKind::Conversion,
     "Unknown conversion family [00000002]"},
};

class AddConvTypeFailureTest : public RegistryTest,
                               public testing::WithParamInterface<AddTypeRow> {};

TEST_P(AddConvTypeFailureTest, ReportsTheFirstFailingCheckAndChangesNothing) {
  const AddTypeRow& row = GetParam();
  const TConvFamilyId mass = AddConvFamily("Mass");
  AddConvType(mass, "Pounds", 453.59237);
  RemoveConvFamily(AddConvFamily("Removed"));
  const RegistrySnapshot before;
  const Failure failure = FailureOf([&] {
    if (row.procedureForm) {
      AddConvType(row.family, row.description, row.toBase, row.fromBase);
    } else {
      AddConvType(row.family, row.description, row.factor);
    }
  });
  EXPECT_EQ(failure.Kind, row.kind);
  EXPECT_EQ(failure.Message, row.message);
  EXPECT_EQ(RegistrySnapshot{}, before);
  TConvTypeArray types;
  TypesOfFamily(mass, types);
  EXPECT_EQ(types, TConvTypeArray{1});
  EXPECT_EQ(AddConvType(mass, "Grams", 1.0), 2);
}

std::string AddTypeRowName(const testing::TestParamInfo<AddTypeRow>& row) {
  return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, AddConvTypeFailureTest, testing::ValuesIn(kAddTypeRows),
                         AddTypeRowName);

TEST_F(ConvRegistryTest, ExhaustedFamilyNumbersAreRefusedNotWrapped) {
  detail::ResetConvRegistry(65534, 0);
  EXPECT_EQ(AddConvFamily("Last"), 65535);
  const RegistrySnapshot before;
  const Failure failure = FailureOf([] { AddConvFamily("One too many"); });
  EXPECT_EQ(failure.Kind, ErrorKind::Conversion);
  EXPECT_EQ(failure.Message, "No more conversion families can be registered (One too many)");
  EXPECT_EQ(RegistrySnapshot{}, before);
  // A duplicate is still reported as such.
  EXPECT_EQ(FailureOf([] { AddConvFamily("LAST"); }).Message,
            "Conversion family (LAST) already registered");
  EXPECT_EQ(DescriptionOfFamily(65535), "Last");
}

TEST_F(ConvRegistryTest, ExhaustedTypeNumbersAreRefusedNotWrapped) {
  detail::ResetConvRegistry(0, 65533);
  const TConvFamilyId mass = AddConvFamily("Mass");
  EXPECT_EQ(AddConvType(mass, "Grams", 1.0), 65534);
  EXPECT_EQ(AddConvType(mass, "Kilograms", 1000.0), 65535);
  const RegistrySnapshot before;
  const Failure failure = FailureOf([&] { AddConvType(mass, "Pounds", 453.59237); });
  EXPECT_EQ(failure.Kind, ErrorKind::Conversion);
  EXPECT_EQ(failure.Message, "No more conversion types can be registered (Pounds)");
  EXPECT_EQ(RegistrySnapshot{}, before);
  EXPECT_EQ(FailureOf([&] { AddConvType(mass, "grams", 1.0); }).Message,
            "Conversion type (grams) already registered in Mass");
  EXPECT_EQ(ConvertValue(2.0, 65535, 65534), 2000.0);
  TConvType found = 0;
  ASSERT_TRUE(TypeFromDescription(mass, "KILOGRAMS", found));
  EXPECT_EQ(found, 65535);
  TConvTypeArray types;
  TypesOfFamily(mass, types);
  EXPECT_EQ(types, (TConvTypeArray{65534, 65535}));
}

TEST_F(ConvRegistryTest, LookupsMatchCaseInsensitivelyAndLeaveMissesUntouched) {
  const TConvFamilyId volume = AddConvFamily("Volume");
  const TConvFamilyId mass = AddConvFamily("Mass");
  AddConvType(volume, "Liters", 0.001);
  const TConvType grams = AddConvType(mass, "Grams", 1.0);

  TConvFamilyId family = 77;
  EXPECT_TRUE(FamilyFromDescription("MASS", family));
  EXPECT_EQ(family, mass);
  family = 77;
  EXPECT_FALSE(FamilyFromDescription("Weight", family));
  EXPECT_FALSE(FamilyFromDescription("", family));
  EXPECT_FALSE(FamilyFromDescription("Mas", family));
  EXPECT_EQ(family, 77);

  TConvType type = 77;
  EXPECT_TRUE(TypeFromDescription(mass, "grams", type));
  EXPECT_EQ(type, grams);
  type = 77;
  EXPECT_FALSE(TypeFromDescription(volume, "Grams", type));
  EXPECT_FALSE(TypeFromDescription(0, "Grams", type));
  EXPECT_FALSE(TypeFromDescription(999, "Grams", type));
  EXPECT_EQ(type, 77);

  TConvTypeInfo* typeInfo = nullptr;
  ASSERT_TRUE(FindTypeInfo(grams, typeInfo));
  EXPECT_EQ(typeInfo->TypeId(), grams);
  EXPECT_EQ(typeInfo->FamilyId(), mass);
  EXPECT_EQ(typeInfo->Description(), "Grams");
  TConvTypeInfo* const typeSentinel = typeInfo;
  for (const TConvType missing : {TConvType{0}, TConvType{3}, TConvType{17}, TConvType{65535}}) {
    EXPECT_FALSE(FindTypeInfo(missing, typeInfo));
    EXPECT_EQ(typeInfo, typeSentinel);
  }
  TConvFamilyInfo* familyInfo = nullptr;
  ASSERT_TRUE(FindFamilyInfo(volume, familyInfo));
  EXPECT_EQ(familyInfo->FamilyId(), volume);
  EXPECT_EQ(familyInfo->Description(), "Volume");
  TConvFamilyInfo* const familySentinel = familyInfo;
  for (const TConvFamilyId missing : {TConvFamilyId{0}, TConvFamilyId{3}, TConvFamilyId{65535}}) {
    EXPECT_FALSE(FindFamilyInfo(missing, familyInfo));
    EXPECT_EQ(familyInfo, familySentinel);
  }
}

TEST_F(ConvRegistryTest, TypesOfFamilyListsRegistrationOrderAndReplacesTheArray) {
  const TConvFamilyId volume = AddConvFamily("Volume");
  const TConvFamilyId mass = AddConvFamily("Mass");
  AddConvType(volume, "Liters", 0.001);
  AddConvType(mass, "Grams", 1.0);
  AddConvType(volume, "CubicMeters", 1.0);
  AddConvType(mass, "Kilograms", 1000.0);
  const TConvFamilyId removed = AddConvFamily("Removed");
  AddConvType(removed, "Gone", 1.0);
  RemoveConvFamily(removed);

  TConvTypeArray types{42, 43};
  TypesOfFamily(volume, types);
  EXPECT_EQ(types, (TConvTypeArray{1, 3}));
  TypesOfFamily(mass, types);
  EXPECT_EQ(types, (TConvTypeArray{2, 4}));
  for (const TConvFamilyId empty : {TConvFamilyId{0}, removed, TConvFamilyId{200}}) {
    types = {42};
    TypesOfFamily(empty, types);
    EXPECT_TRUE(types.empty()) << "family " << empty;
  }
}

TEST_F(ConvRegistryTest, DescriptionsAsRegisteredOrSubstitutes) {
  const TConvFamilyId mass = AddConvFamily("mAsS");
  const TConvType grams = AddConvType(mass, "GraMs", 1.0);
  struct Row {
    std::string actual;
    const char* expected;
  };
  for (const Row& row :
       {Row{DescriptionOfType(grams), "GraMs"}, Row{DescriptionOfFamily(mass), "mAsS"},
        Row{DescriptionOfType(0), "Illegal type"}, Row{DescriptionOfFamily(0), "Illegal family"},
        Row{DescriptionOfType(26), "[0000001A]"}, Row{DescriptionOfType(999), "[000003E7]"},
        Row{DescriptionOfType(65535), "[0000FFFF]"}, Row{DescriptionOfFamily(9), "[00000009]"}}) {
    EXPECT_EQ(row.actual, row.expected);
  }
}

TEST_F(ConvRegistryTest, UnusualDescriptionsRegisterAndMatchSafely) {
  const TConvFamilyId family = AddConvFamily("");
  EXPECT_EQ(FailureOf([] { AddConvFamily(""); }).Message,
            "Conversion family () already registered");
  const std::string invalid =
      "Gr\xFF"
      "ams";
  const TConvType type = AddConvType(family, invalid, 1.0);
  TConvType found = 0;
  EXPECT_TRUE(TypeFromDescription(family, invalid, found));
  EXPECT_EQ(found, type);
  // ASCII letters fold even in text that is not UTF-8; other bytes do not.
  found = 0;
  EXPECT_TRUE(TypeFromDescription(family,
                                  "GR\xFF"
                                  "AMS",
                                  found));
  EXPECT_EQ(found, type);
  EXPECT_FALSE(TypeFromDescription(family,
                                   "Gr\xDF"
                                   "ams",
                                   found));
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(AddConvType(family, withNul, 2.0), type + 1);
  EXPECT_EQ(DescriptionOfType(static_cast<TConvType>(type + 1)), withNul);
  EXPECT_EQ(AddConvType(family, "a", 3.0), type + 2);
}

TEST_F(ConvRegistryTest, RemovingAFamilyRemovesItsTypesAndKeepsTheirNumbers) {
  const TConvFamilyId volume = AddConvFamily("Volume");
  const TConvFamilyId mass = AddConvFamily("Mass");
  const TConvType liters = AddConvType(volume, "Liters", 0.001);
  const TConvType grams = AddConvType(mass, "Grams", 1.0);
  const TConvType cubicMeters = AddConvType(volume, "CubicMeters", 1.0);
  const TConvType kilograms = AddConvType(mass, "Kilograms", 1000.0);
  const RegistrySnapshot before;

  RemoveConvFamily(volume);
  EXPECT_EQ(RegistrySnapshot{}, before);
  EXPECT_EQ(DescriptionOfType(liters), "[00000001]");
  EXPECT_EQ(DescriptionOfType(cubicMeters), "[00000003]");
  EXPECT_EQ(DescriptionOfFamily(volume), "[00000001]");
  TConvFamilyId family = 0;
  EXPECT_FALSE(FamilyFromDescription("Volume", family));
  EXPECT_EQ(ConvertValue(1.0, kilograms, grams), 1000.0);
  for (const TConvFamilyId nothing : {volume, TConvFamilyId{0}, TConvFamilyId{40}}) {
    RemoveConvFamily(nothing);
  }
  EXPECT_EQ(RegistrySnapshot{}, before);
  EXPECT_EQ(AddConvFamily("Volume"), 3);
  EXPECT_EQ(AddConvType(3, "Liters", 0.001), 5);
}

TEST_F(ConvRegistryTest, ClearingEmptiesTheListsAndKeepsTheCounters) {
  const TConvFamilyId mass = AddConvFamily("Mass");
  const TConvType grams = AddConvType(mass, "Grams", 1.0);
  ClearConvRegistry();
  EXPECT_EQ(detail::ConvFamilyListLength(), 0u);
  EXPECT_EQ(detail::ConvTypeListLength(), 0u);
  EXPECT_EQ(DescriptionOfType(grams), "[00000001]");
  TConvFamilyId family = 0;
  EXPECT_FALSE(FamilyFromDescription("Mass", family));
  EXPECT_EQ(AddConvFamily("Mass"), 2);
  EXPECT_EQ(AddConvType(2, "Grams", 1.0), 2);
  EXPECT_EQ(detail::ConvTypeListLength(), 18u);
  ClearConvRegistry();
  ClearConvRegistry();
  EXPECT_EQ(detail::LastConvType(), 2);
}

TEST_F(ConvRegistryTest, ScopeClearsTheRegistryOnExit) {
  {
    const TConvRegistryScope scope;
    AddConvType(AddConvFamily("Mass"), "Grams", 1.0);
  }
  EXPECT_EQ(DescriptionOfType(1), "[00000001]");
  EXPECT_EQ(detail::ConvFamilyListLength(), 0u);
}

}  // namespace
}  // namespace korvalen
