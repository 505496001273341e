#pragma once

// Lookups by description for the command line, answering exactly as the
// registry's FamilyFromDescription and TypeFromDescription do, without their
// scan over every unit type for each word of every line.

#include "engine/ConvUtils.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvalen::cli {

struct TUnitRef {
  TConvFamilyId Family = IllegalFamilyId;
  TConvType Type = IllegalTypeId;
};

// A snapshot of the registry taken at construction; the registry must not
// change while the index is in use. Families are read from 1 upward to the
// first identifier that is not registered, which is all of them in a program
// that only registers (the command line registers the standard units once).
class TUnitIndex {
 public:
  TUnitIndex();

  // The registered families, in registration order.
  const std::vector<TConvFamilyId>& Families() const noexcept { return FFamilies; }

  // As FamilyFromDescription.
  bool FindFamily(std::string_view description, TConvFamilyId& family) const;
  // As TypeFromDescription.
  bool FindType(TConvFamilyId family, std::string_view description, TConvType& type) const;
  // The matching unit type of every family that has one, in family order.
  void FindInAllFamilies(std::string_view description, std::vector<TUnitRef>& found) const;

  enum class TMatch { None, Units, Refused };
  // The units a name people type may stand for, within family unless that is
  // IllegalFamilyId, by the first rule that finds any: the description; its
  // singular, its -re spelling and the table's words, spaces and hyphens
  // ignored ("square feet", "Litre"); the table's symbols, with case ("kg").
  // "oz" gives Ounces and FluidOunces. Refused for a symbol that is a coin
  // toss ("R"), with the units it could mean in found.
  TMatch FindUnits(std::string_view name, TConvFamilyId family, std::vector<TUnitRef>& found) const;

  // The names nearest to an unknown one by edit distance, without regard to
  // case (at most three, none when nothing is close): "kilogam" gives
  // Kilograms.
  std::vector<std::string> Nearest(std::string_view name, TConvFamilyId family) const;

 private:
  // The table is read as it is, not indexed: a request looks up two names,
  // and indexing several hundred would cost more than it saves.
  void FindDerived(std::string_view name, std::vector<TUnitRef>& found) const;
  void FindSymbol(std::string_view symbol, bool refused, std::vector<TUnitRef>& found) const;

  // ASCII case folding, which is the whole of the registry's matching rule
  // when both texts are ASCII.
  struct TFoldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
  };
  struct TFoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };

  // Whether the maps may answer for description: a non-ASCII text can match
  // an ASCII one under Unicode case folding (KELVIN SIGN matches "K"), so
  // such texts, or a registry with non-ASCII descriptions, go to the registry.
  bool Indexed(std::string_view description) const noexcept;

  std::vector<TConvFamilyId> FFamilies;
  bool FAsciiOnly = true;
  std::unordered_map<std::string, TConvFamilyId, TFoldHash, TFoldEqual> FFamilyByName;
  // Each description's unit types, in family order.
  std::unordered_map<std::string, std::vector<TUnitRef>, TFoldHash, TFoldEqual> FTypesByName;
};

}  // namespace korvalen::cli
