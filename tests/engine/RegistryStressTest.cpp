#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/FloatSteps.h"
#include "platform/runtime/TextCompare.h"
#include "tests/engine/EngineTestSupport.h"

namespace korvalen {
namespace {

using test::SameBits;

// Registrars race each other for the same family and type descriptions and
// build and remove private families, while readers convert standard units,
// look up, list and describe every identifier (removed ones included).
// Two registrars suffice for every duplicate to be contested; two readers keep
// both sides of both locks busy; on two cores the six threads interleave at
// arbitrary points. Under ThreadSanitizer any unordered access is a race.
TEST(RegistryStress, ConcurrentRegistrationLookupListingAndConversion) {
  detail::ResetConvRegistry();
  RegisterStandardUnits();
  TConvFamilyId mass = 0;
  TConvType kilograms = 0;
  TConvType pounds = 0;
  ASSERT_TRUE(FamilyFromDescription("Mass", mass));
  ASSERT_TRUE(TypeFromDescription(mass, "Kilograms", kilograms));
  ASSERT_TRUE(TypeFromDescription(mass, "Pounds", pounds));

  const TConvType standardLast = detail::LastConvType();
  std::map<TConvType, std::string> standard;
  for (TConvType id = 1; id <= standardLast; ++id) {
    standard[id] = DescriptionOfType(id);
  }
  const std::set<std::string> registrarTexts = {"Unit 0", "Unit 1", "Unit 2", "Unit 3",
                                                "Unit 4", "Unit 5", "Base",   "Twice"};

  constexpr int Rounds = 200;
  constexpr int TypesPerRound = 6;
  std::mutex resultsMutex;
  std::vector<TConvFamilyId> familyIds;
  std::vector<TConvType> typeIds;
  std::atomic<int> wrongConversions{0};
  std::atomic<int> wrongListings{0};
  std::atomic<bool> registering{true};

  auto registrar = [&](int self) {
    std::vector<TConvFamilyId> myFamilies;
    std::vector<TConvType> myTypes;
    for (int round = 0; round < Rounds; ++round) {
      // Contested: both registrars try the same family and types.
      const std::string shared = "Shared " + std::to_string(round);
      try {
        myFamilies.push_back(AddConvFamily(self == 0 ? shared : "SHARED " + std::to_string(round)));
      } catch (const EConversionError&) {
      }
      TConvFamilyId family = 0;
      if (FamilyFromDescription(shared, family)) {
        for (int t = 0; t < TypesPerRound; ++t) {
          try {
            myTypes.push_back(AddConvType(family, "Unit " + std::to_string(t), 1.0 + t));
          } catch (const EConversionError&) {
          }
        }
      }
      // Private: built, used and removed while readers describe its numbers.
      const TConvFamilyId own =
          AddConvFamily("Private " + std::to_string(self) + " " + std::to_string(round));
      myFamilies.push_back(own);
      const TConvType base = AddConvType(own, "Base", 1.0);
      const TConvType twice = AddConvType(own, "Twice", 2.0);
      myTypes.push_back(base);
      myTypes.push_back(twice);
      if (!SameBits(ConvertValue(3.0, twice, base), 6.0)) {
        ++wrongConversions;
      }
      RemoveConvFamily(own);
    }
    std::lock_guard<std::mutex> lock(resultsMutex);
    familyIds.insert(familyIds.end(), myFamilies.begin(), myFamilies.end());
    typeIds.insert(typeIds.end(), myTypes.begin(), myTypes.end());
  };

  auto reader = [&] {
    TConvTypeArray types;
    std::vector<bool> gone(65536);
    do {
      if (!SameBits(ConvertValue(1.0, kilograms, pounds), 2.2046226218487757)) {
        ++wrongConversions;
      }
      TConvFamilyId family = 0;
      TConvType type = 0;
      if (!FamilyFromDescription("MASS", family) || !TypeFromDescription(family, "pounds", type) ||
          type != pounds) {
        ++wrongConversions;
      }
      TypesOfFamily(mass, types);
      if (types.size() != 16 || types.front() != 96 || types.back() != 111) {
        ++wrongListings;
      }
      // A handed-out number describes the unit registered under it, or
      // itself in brackets once its family is gone, and then for good.
      const TConvType last = detail::LastConvType();
      for (TConvType id = 120; id <= last; id = static_cast<TConvType>(id + 7)) {
        const std::string description = DescriptionOfType(id);
        if (description == FormatHexId(id)) {
          gone[id] = true;
        } else if (gone[id] || (id <= standardLast ? description != standard.at(id)
                                                   : registrarTexts.count(description) == 0)) {
          ++wrongListings;
        }
      }
      for (TConvFamilyId id = 1; id <= detail::LastConvFamilyId();
           id = static_cast<TConvFamilyId>(id + 3)) {
        TypesOfFamily(id, types);
        DescriptionOfFamily(id);
      }
    } while (registering.load());
  };

  std::vector<std::thread> readers;
  readers.emplace_back(reader);
  readers.emplace_back(reader);
  std::thread first(registrar, 0);
  std::thread second(registrar, 1);
  first.join();
  second.join();
  registering = false;
  for (std::thread& thread : readers) {
    thread.join();
  }

  EXPECT_EQ(wrongConversions.load(), 0);
  EXPECT_EQ(wrongListings.load(), 0);
  // No identifier was handed out twice.
  EXPECT_EQ(std::set<TConvFamilyId>(familyIds.begin(), familyIds.end()).size(), familyIds.size());
  EXPECT_EQ(std::set<TConvType>(typeIds.begin(), typeIds.end()).size(), typeIds.size());
  // Each contested family and type went to exactly one registrar.
  for (int round = 0; round < Rounds; ++round) {
    TConvFamilyId family = 0;
    ASSERT_TRUE(FamilyFromDescription("Shared " + std::to_string(round), family));
    TConvTypeArray types;
    TypesOfFamily(family, types);
    EXPECT_EQ(types.size(), static_cast<std::size_t>(TypesPerRound)) << round;
  }
  EXPECT_EQ(familyIds.size(), static_cast<std::size_t>(Rounds * 3));
  // No family holds two matching descriptions.
  for (TConvFamilyId family = 1; family <= detail::LastConvFamilyId(); ++family) {
    TConvTypeArray types;
    TypesOfFamily(family, types);
    for (std::size_t i = 0; i < types.size(); ++i) {
      for (std::size_t j = i + 1; j < types.size(); ++j) {
        EXPECT_FALSE(DescriptionsMatch(DescriptionOfType(types[i]), DescriptionOfType(types[j])));
      }
    }
  }
  UnregisterStandardUnits();
  detail::ResetConvRegistry();
}

// A unit whose steps give way to other threads midway, so that a removal on
// another thread lands while a conversion is inside them.
double YieldingToBase(double value) {
  std::this_thread::yield();
  return value * 2.0;
}
double YieldingFromBase(double value) {
  std::this_thread::yield();
  return value / 2.0;
}

// Two threads convert between the units of a family that a third removes and
// registers again, over and over. Every conversion either gives the exact
// value or finds a unit gone (EConversionError); the units it uses stay alive
// until it returns, which ASan and TSan check.
TEST(RegistryStress, ConversionsSurviveRemovalOfTheirFamily) {
  detail::ResetConvRegistry();
  auto registerChurn = [] {
    const TConvFamilyId family = AddConvFamily("Churn");
    AddConvType(family, "Yielding", YieldingToBase, YieldingFromBase);
    AddConvType(family, "Quarter", 4.0);
    return family;
  };
  TConvFamilyId churn = registerChurn();
  std::atomic<bool> churning{true};
  std::atomic<int> exact{0};
  std::atomic<int> gone{0};
  std::atomic<int> wrong{0};

  auto converter = [&] {
    fpu::InitEnvironment();
    TConvType yielding = 0;
    TConvType quarter = 0;
    do {
      // The numbers found may outlive their units: looked up afresh only now and then.
      TConvFamilyId family = 0;
      if ((exact + gone) % 4 == 0 && FamilyFromDescription("Churn", family)) {
        TypeFromDescription(family, "Yielding", yielding);
        TypeFromDescription(family, "Quarter", quarter);
      }
      try {
        const bool right = SameBits(ConvertValue(3.0, yielding, quarter), 1.5) &&
                           SameBits(ConvertValue(3.0, quarter, yielding), 6.0);
        ++(right ? exact : wrong);
      } catch (const EConversionError&) {
        ++gone;
      } catch (...) {
        ++wrong;
      }
    } while (churning.load());
  };

  std::thread first(converter);
  std::thread second(converter);
  // At least 300 rounds, and on until both outcomes have been seen: a slow
  // (instrumented) converter may see none of one kind in the first 300.
  for (int round = 0; round < 300 || ((exact == 0 || gone == 0) && round < 1000000); ++round) {
    RemoveConvFamily(churn);
    churn = registerChurn();
    std::this_thread::yield();
  }
  churning = false;
  first.join();
  second.join();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(exact.load(), 0);
  EXPECT_GT(gone.load(), 0);
  detail::ResetConvRegistry();
}

}  // namespace
}  // namespace korvalen
