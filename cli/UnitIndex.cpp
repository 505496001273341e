#include "cli/UnitIndex.h"

#include <algorithm>

namespace korvalen::cli {

namespace {

char FoldAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAscii(std::string_view text) noexcept {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

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
