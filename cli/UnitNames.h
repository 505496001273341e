#pragma once

// The other names the command line knows for the catalogue's units: the
// words and symbols people type. Data only; each entry points at a catalogue
// description, and every lookup still ends in the registry.

#include <span>
#include <string>
#include <string_view>

namespace korvalen::cli {

struct TUnitNames {
  // The catalogue description the names stand for.
  std::string_view Unit;
  // Words, separated by ", ": matched as descriptions are (without regard to
  // case, spaces and hyphens ignored, singular and -re spellings derived), so
  // "gallons" also answers to "Gallon".
  std::string_view Words;
  // Symbols, separated by " ": matched with case, since some differ only by
  // case (Mm, mm); the lower-case variants that are safe are listed.
  std::string_view Symbols;
};

// A symbol that is a coin toss between units: refused, naming them.
struct TRefusedSymbol {
  std::string_view Symbol;
  std::string_view Units;  // descriptions, separated by " "
};

// A temperature scale's absolute zero, as a reading on that scale.
struct TScaleZero {
  std::string_view Unit;
  double Zero;
};

std::span<const TUnitNames> UnitNames() noexcept;
std::span<const TRefusedSymbol> RefusedSymbols() noexcept;
std::span<const TScaleZero> ScaleZeros() noexcept;

// The words and symbols of the unit with catalogue description unit,
// separated by ", ": "kilos, kg, kgs" for Kilograms; empty when it has none.
std::string OtherNames(std::string_view unit);

}  // namespace korvalen::cli
