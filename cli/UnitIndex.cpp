#include "cli/UnitIndex.h"

#include "cli/UnitNames.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace korvalen::cli {

namespace {

char FoldAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAscii(std::string_view text) noexcept {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Calls visit with each piece of list between separators, empty ones skipped.
template <typename TVisit>
void ForEachItem(std::string_view list, std::string_view separator, TVisit visit) {
  while (!list.empty()) {
    const std::size_t end = list.find(separator);
    if (end != 0) {
      visit(list.substr(0, end));
    }
    if (end == std::string_view::npos) {
      return;
    }
    list.remove_prefix(end + separator.size());
  }
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

// A name as derived forms are matched: folded, without spaces and hyphens,
// with the -re spellings of "meter" and "liter" read as those.
std::string MatchKey(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (const char c : name) {
    if (c != ' ' && c != '-') {
      key += FoldAscii(c);
    }
  }
  ReplaceAll(key, "metre", "meter");
  ReplaceAll(key, "litre", "liter");
  return key;
}

std::string WithoutSpaces(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  for (const char c : name) {
    if (c != ' ' && c != '-') {
      text += c;
    }
  }
  return text;
}

// The singular of a folded plural name, or empty when it is not one:
// "feet" gives "foot", "centuries" "century", "millennia" "millennium",
// "inches" "inch"; "celsius" and "kelvin" give nothing.
std::string Singular(std::string_view key) {
  const auto replaced = [&](std::string_view suffix, std::string_view by) {
    return std::string(key.substr(0, key.size() - suffix.size())) + std::string(by);
  };
  if (key.ends_with("ies")) {
    return replaced("ies", "y");
  }
  if (key.ends_with("ia")) {
    return replaced("ia", "ium");
  }
  if (key.ends_with("eet")) {
    return replaced("eet", "oot");
  }
  if (key.ends_with("ches")) {
    return replaced("ches", "ch");
  }
  if (key.ends_with("s") && !key.ends_with("us")) {
    return replaced("s", "");
  }
  return {};
}

void AddUnique(std::vector<TUnitRef>& units, TUnitRef unit) {
  if (std::none_of(units.begin(), units.end(),
                   [&](TUnitRef known) { return known.Type == unit.Type; })) {
    units.push_back(unit);
  }
}

// Levenshtein distance with adjacent transpositions, over folded bytes; rows
// holds the three rows it works in, kept from call to call.
std::size_t EditDistance(std::string_view a, std::string_view b,
                         std::array<std::vector<std::size_t>, 3>& rows) {
  const std::size_t n = b.size();
  for (std::vector<std::size_t>& row : rows) {
    row.assign(n + 1, 0);
  }
  auto* before = &rows[0];
  auto* previous = &rows[1];
  auto* current = &rows[2];
  std::iota(previous->begin(), previous->end(), std::size_t{0});
  for (std::size_t i = 1; i <= a.size(); ++i) {
    (*current)[0] = i;
    for (std::size_t j = 1; j <= n; ++j) {
      const bool same = FoldAscii(a[i - 1]) == FoldAscii(b[j - 1]);
      std::size_t cost = std::min(
          {(*previous)[j] + 1, (*current)[j - 1] + 1, (*previous)[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && FoldAscii(a[i - 1]) == FoldAscii(b[j - 2]) &&
          FoldAscii(a[i - 2]) == FoldAscii(b[j - 1])) {
        cost = std::min(cost, (*before)[j - 2] + 1);
      }
      (*current)[j] = cost;
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return (*previous)[n];
}

}  // namespace

void TUnitIndex::FindDerived(std::string_view name, std::vector<TUnitRef>& found) const {
  found.clear();
  const std::string key = MatchKey(name);
  const auto derivedFrom = [&](std::string_view other) {
    const std::string otherKey = MatchKey(other);
    return otherKey == key || Singular(otherKey) == key;
  };
  // The plurals key may be the singular of; the descriptions they find are
  // checked against the singular rule itself.
  std::vector<std::string> plurals{key, key + "s", key + "es"};
  const auto replaced = [&](std::string_view suffix, std::string_view by) {
    if (key.ends_with(suffix)) {
      plurals.push_back(key.substr(0, key.size() - suffix.size()) + std::string(by));
    }
  };
  replaced("y", "ies");
  replaced("ium", "ia");
  replaced("oot", "eet");
  for (const std::string& plural : plurals) {
    const auto hit = FTypesByName.find(plural);
    if (hit != FTypesByName.end() && derivedFrom(hit->first)) {
      for (const TUnitRef unit : hit->second) {
        AddUnique(found, unit);
      }
    }
  }
  std::vector<TUnitRef> units;
  for (const TUnitNames& entry : UnitNames()) {
    bool listed = false;
    ForEachItem(entry.Words, ", ",
                [&](std::string_view word) { listed = listed || derivedFrom(word); });
    if (listed) {
      FindInAllFamilies(entry.Unit, units);
      for (const TUnitRef unit : units) {
        AddUnique(found, unit);
      }
    }
  }
}

void TUnitIndex::FindSymbol(std::string_view symbol, bool refused,
                            std::vector<TUnitRef>& found) const {
  found.clear();
  std::vector<TUnitRef> units;
  const auto add = [&](std::string_view description) {
    FindInAllFamilies(description, units);
    for (const TUnitRef unit : units) {
      AddUnique(found, unit);
    }
  };
  if (refused) {
    for (const TRefusedSymbol& entry : RefusedSymbols()) {
      if (entry.Symbol == symbol) {
        ForEachItem(entry.Units, " ", add);
      }
    }
    return;
  }
  for (const TUnitNames& entry : UnitNames()) {
    bool listed = false;
    ForEachItem(entry.Symbols, " ",
                [&](std::string_view other) { listed = listed || other == symbol; });
    if (listed) {
      add(entry.Unit);
    }
  }
}

TUnitIndex::TMatch TUnitIndex::FindUnits(std::string_view name, TConvFamilyId family,
                                         std::vector<TUnitRef>& found) const {
  const auto keep = [&](const std::vector<TUnitRef>& units) {
    found.clear();
    for (const TUnitRef unit : units) {
      if (family == IllegalFamilyId || unit.Family == family) {
        found.push_back(unit);
      }
    }
    return !found.empty();
  };
  // Descriptions first, unless the name is not ASCII: then it can only match
  // a description through Unicode case folding, which the table's non-ASCII
  // symbols never do, so the table goes first and spares loading the
  // collation for them.
  const bool descriptionsFirst = IsAscii(name);
  std::vector<TUnitRef> units;
  if (descriptionsFirst) {
    FindInAllFamilies(name, units);
    if (keep(units)) {
      return TMatch::Units;
    }
  }
  FindDerived(name, units);
  if (keep(units)) {
    return TMatch::Units;
  }
  const std::string symbol = WithoutSpaces(name);
  FindSymbol(symbol, false, units);
  if (keep(units)) {
    return TMatch::Units;
  }
  FindSymbol(symbol, true, units);
  if (keep(units)) {
    return TMatch::Refused;
  }
  if (!descriptionsFirst) {
    FindInAllFamilies(name, units);
    if (keep(units)) {
      return TMatch::Units;
    }
  }
  found.clear();
  return TMatch::None;
}

std::vector<std::string> TUnitIndex::Nearest(std::string_view name, TConvFamilyId family) const {
  const std::size_t limit = std::max<std::size_t>(1, name.size() / 3);
  std::size_t best = limit + 1;
  std::vector<std::string> nearest;
  std::array<std::vector<std::size_t>, 3> rows;
  const auto consider = [&](std::string_view candidate) {
    // The lengths alone put most names beyond reach, so a garbage word costs
    // few distance computations.
    const std::size_t apart = name.size() > candidate.size() ? name.size() - candidate.size()
                                                             : candidate.size() - name.size();
    if (apart > best) {
      return;
    }
    const std::size_t distance = EditDistance(name, candidate, rows);
    if (distance > best) {
      return;
    }
    if (distance < best) {
      best = distance;
      nearest.clear();
    }
    if (nearest.size() < 3 &&
        std::find(nearest.begin(), nearest.end(), candidate) == nearest.end()) {
      nearest.emplace_back(candidate);
    }
  };
  const auto inFamily = [&](const std::vector<TUnitRef>& units) {
    return family == IllegalFamilyId || std::any_of(units.begin(), units.end(), [&](TUnitRef unit) {
             return unit.Family == family;
           });
  };
  for (const auto& [description, units] : FTypesByName) {
    if (inFamily(units)) {
      consider(description);
    }
  }
  std::vector<TUnitRef> units;
  for (const TUnitNames& entry : UnitNames()) {
    if (family != IllegalFamilyId) {
      FindInAllFamilies(entry.Unit, units);
      if (!inFamily(units)) {
        continue;
      }
    }
    ForEachItem(entry.Words, ", ", consider);
    ForEachItem(entry.Symbols, " ", consider);
  }
  // Ties are met in hash order; the names are shown in a stable one.
  std::sort(nearest.begin(), nearest.end());
  return nearest;
}

std::size_t TUnitIndex::TFoldHash::operator()(std::string_view text) const noexcept {
  // FNV-1a over the folded bytes.
  std::size_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(FoldAscii(c))) * 1099511628211ull;
  }
  return hash;
}

bool TUnitIndex::TFoldEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

TUnitIndex::TUnitIndex() {
  TConvFamilyInfo* familyInfo = nullptr;
  for (unsigned id = 1; id <= 0xFFFF; ++id) {
    const auto family = static_cast<TConvFamilyId>(id);
    if (!FindFamilyInfo(family, familyInfo)) {
      break;
    }
    FFamilies.push_back(family);
    FAsciiOnly = FAsciiOnly && IsAscii(familyInfo->Description());
    // Registration keeps family descriptions unique, so the first one stays.
    FFamilyByName.emplace(familyInfo->Description(), family);
  }
  TConvTypeArray types;
  TConvTypeInfo* typeInfo = nullptr;
  for (const TConvFamilyId family : FFamilies) {
    TypesOfFamily(family, types);
    for (const TConvType type : types) {
      if (FindTypeInfo(type, typeInfo)) {
        FAsciiOnly = FAsciiOnly && IsAscii(typeInfo->Description());
        FTypesByName[typeInfo->Description()].push_back({family, type});
      }
    }
  }
}

bool TUnitIndex::Indexed(std::string_view description) const noexcept {
  return FAsciiOnly && IsAscii(description);
}

bool TUnitIndex::FindFamily(std::string_view description, TConvFamilyId& family) const {
  if (!Indexed(description)) {
    return FamilyFromDescription(std::string(description), family);
  }
  const auto found = FFamilyByName.find(description);
  if (found == FFamilyByName.end()) {
    return false;
  }
  family = found->second;
  return true;
}

bool TUnitIndex::FindType(TConvFamilyId family, std::string_view description,
                          TConvType& type) const {
  if (!Indexed(description)) {
    return TypeFromDescription(family, std::string(description), type);
  }
  const auto found = FTypesByName.find(description);
  if (found == FTypesByName.end()) {
    return false;
  }
  for (const TUnitRef& unit : found->second) {
    if (unit.Family == family) {
      type = unit.Type;
      return true;
    }
  }
  return false;
}

void TUnitIndex::FindInAllFamilies(std::string_view description,
                                   std::vector<TUnitRef>& found) const {
  found.clear();
  if (!Indexed(description)) {
    const std::string text(description);
    for (const TConvFamilyId family : FFamilies) {
      TConvType type = IllegalTypeId;
      if (TypeFromDescription(family, text, type)) {
        found.push_back({family, type});
      }
    }
    return;
  }
  const auto entry = FTypesByName.find(description);
  if (entry != FTypesByName.end()) {
    found = entry->second;
  }
}

}  // namespace korvalen::cli
