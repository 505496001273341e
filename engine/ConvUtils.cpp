#include "engine/ConvUtils.h"

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "engine/ConvUtils_p.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/FloatSteps.h"
#include "platform/runtime/MultiReadExclusiveWriteSynchronizer.h"
#include "platform/runtime/ResourceStrings.h"
#include "platform/runtime/TextCompare.h"

namespace korvalen {

// The registry's state. The family lock guards FFamilies and FLastFamilyId,
// the type lock FTypes and FLastTypeId; the family lock is always taken
// before the type lock. Slot n of a list holds the object numbered n.
class TConvRegistry {
 public:
  static TConvRegistry& Instance() {
    // Never destroyed: a static destructor elsewhere may still look a unit
    // up, and the program empties the registry itself (ClearConvRegistry).
    static TConvRegistry* const instance = new TConvRegistry;
    return *instance;
  }

  static void SetTypeId(TConvTypeInfo& info, TConvType type) noexcept { info.FTypeId = type; }

  TMultiReadExclusiveWriteSynchronizer FFamilyLock;
  TMultiReadExclusiveWriteSynchronizer FTypeLock;
  std::vector<std::unique_ptr<TConvFamilyInfo>> FFamilies;
  std::vector<std::unique_ptr<TConvTypeInfo>> FTypes;
  TConvFamilyId FLastFamilyId = 0;
  TConvType FLastTypeId = 0;
};

namespace {

TConvRegistry& Registry() {
  return TConvRegistry::Instance();
}

// A list grows to 16 slots beyond a new number that does not fit.
template <typename T>
void MakeRoomFor(std::vector<T>& list, std::size_t id) {
  if (id >= list.size()) {
    list.resize(id + 16);
  }
}

// Inserts a built unit type: the duplicate test and the numbering happen
// under one holding of the type lock. Returns false, changing nothing, when a
// unit type of the same family matches the description.
bool InsertConvType(std::unique_ptr<TConvTypeInfo> info, TConvType& type) {
  TConvRegistry& registry = Registry();
  TWriteGuard write(registry.FTypeLock);
  TConvType existing = IllegalTypeId;
  if (TypeFromDescription(info->FamilyId(), info->Description(), existing)) {
    return false;
  }
  if (registry.FLastTypeId == std::numeric_limits<TConvType>::max()) {
    throw EConversionError(Format(res::SConvTypesExhausted, {info->Description()}));
  }
  const auto id = static_cast<TConvType>(registry.FLastTypeId + 1);
  MakeRoomFor(registry.FTypes, id);
  TConvRegistry::SetTypeId(*info, id);
  registry.FTypes[id] = std::move(info);
  registry.FLastTypeId = id;
  type = id;
  return true;
}

void CheckFamilyRegistered(TConvFamilyId family) {
  TConvFamilyInfo* info = nullptr;
  if (!FindFamilyInfo(family, info)) {
    throw EConversionError(Format(res::SConvUnknownFamily, {FormatHexId(family)}));
  }
}

TConvType AddBuiltConvType(std::unique_ptr<TConvTypeInfo> info) {
  const TConvFamilyId family = info->FamilyId();
  const std::string description = info->Description();
  TConvType type = IllegalTypeId;
  if (!InsertConvType(std::move(info), type)) {
    // Formatted after the type lock is released: the family's description
    // takes the family lock, which is never taken under the type lock.
    throw EConversionError(
        Format(res::SConvDuplicateType, {description, DescriptionOfFamily(family)}));
  }
  return type;
}

template <typename List, typename Info>
bool FindInList(TMultiReadExclusiveWriteSynchronizer& lock, const List& list, std::size_t id,
                Info*& info) {
  TReadGuard read(lock);
  if (id >= list.size() || list[id] == nullptr) {
    return false;
  }
  info = list[id].get();
  return true;
}

// Description copied under the read side, so a removal on another thread
// cannot free it while it is copied.
template <typename List>
std::string DescriptionInList(TMultiReadExclusiveWriteSynchronizer& lock, const List& list,
                              std::size_t id, std::string_view illegal) {
  if (id == 0) {
    return std::string(illegal);
  }
  {
    TReadGuard read(lock);
    if (id < list.size() && list[id] != nullptr) {
      return list[id]->Description();
    }
  }
  return FormatHexId(static_cast<std::uint32_t>(id));
}

template <typename List>
void EmptyList(TMultiReadExclusiveWriteSynchronizer& lock, List& list) {
  TWriteGuard write(lock);
  for (auto& slot : list) {
    slot.reset();
  }
  list.clear();
}

}  // namespace

TConvFamilyInfo::TConvFamilyInfo(std::string description, TConvFamilyId familyId)
    : FDescription(std::move(description)), FFamilyId(familyId) {}

TConvTypeInfo::TConvTypeInfo(TConvFamilyId familyId, std::string description)
    : FDescription(std::move(description)), FFamilyId(familyId) {}

TConvTypeFactor::TConvTypeFactor(TConvFamilyId familyId, std::string description, double factor)
    : TConvTypeInfo(familyId, std::move(description)), FFactor(factor) {}

double TConvTypeFactor::ToBase(double value) const {
  return fpu::Multiply(value, FFactor);
}

double TConvTypeFactor::FromBase(double value) const {
  return fpu::Divide(value, FFactor);
}

TConvTypeProcs::TConvTypeProcs(TConvFamilyId familyId, std::string description,
                               TConvProc toBaseProc, TConvProc fromBaseProc)
    : TConvTypeInfo(familyId, std::move(description)),
      FToBaseProc(toBaseProc),
      FFromBaseProc(fromBaseProc) {}

double TConvTypeProcs::ToBase(double value) const {
  return fpu::Call(FToBaseProc, value);
}

double TConvTypeProcs::FromBase(double value) const {
  return fpu::Call(FFromBaseProc, value);
}

TConvFamilyId AddConvFamily(const std::string& description) {
  TConvRegistry& registry = Registry();
  TWriteGuard write(registry.FFamilyLock);
  TConvFamilyId existing = IllegalFamilyId;
  if (FamilyFromDescription(description, existing)) {
    throw EConversionError(Format(res::SConvDuplicateFamily, {description}));
  }
  if (registry.FLastFamilyId == std::numeric_limits<TConvFamilyId>::max()) {
    throw EConversionError(Format(res::SConvFamiliesExhausted, {description}));
  }
  const auto id = static_cast<TConvFamilyId>(registry.FLastFamilyId + 1);
  auto info = std::make_unique<TConvFamilyInfo>(description, id);
  MakeRoomFor(registry.FFamilies, id);
  registry.FFamilies[id] = std::move(info);
  registry.FLastFamilyId = id;
  return id;
}

TConvType AddConvType(TConvFamilyId family, const std::string& description, double factor) {
  CheckFamilyRegistered(family);
  if (factor == 0.0) {
    throw EZeroDivide(Format(res::SConvFactorZero, {description}));
  }
  // A NaN or infinite factor would turn every conversion into NaN or infinity.
  if (!std::isfinite(factor)) {
    throw EConversionError(Format(res::SConvFactorNotFinite, {description}));
  }
  return AddBuiltConvType(std::make_unique<TConvTypeFactor>(family, description, factor));
}

TConvType AddConvType(TConvFamilyId family, const std::string& description, TConvProc toBase,
                      TConvProc fromBase) {
  CheckFamilyRegistered(family);
  // A missing procedure would be called at the first conversion.
  if (toBase == nullptr || fromBase == nullptr) {
    throw EConversionError(Format(res::SConvProcMissing, {description}));
  }
  return AddBuiltConvType(std::make_unique<TConvTypeProcs>(family, description, toBase, fromBase));
}

void RemoveConvFamily(TConvFamilyId family) {
  TConvRegistry& registry = Registry();
  TWriteGuard familyWrite(registry.FFamilyLock);
  TConvFamilyInfo* info = nullptr;
  if (!FindFamilyInfo(family, info)) {
    return;
  }
  {
    TWriteGuard typeWrite(registry.FTypeLock);
    for (auto& slot : registry.FTypes) {
      if (slot != nullptr && slot->FamilyId() == family) {
        slot.reset();
      }
    }
  }
  registry.FFamilies[family].reset();
}

bool FamilyFromDescription(const std::string& description, TConvFamilyId& family) {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FFamilyLock);
  for (const auto& slot : registry.FFamilies) {
    if (slot != nullptr && DescriptionsMatch(slot->Description(), description)) {
      family = slot->FamilyId();
      return true;
    }
  }
  return false;
}

bool TypeFromDescription(TConvFamilyId family, const std::string& description, TConvType& type) {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FTypeLock);
  for (const auto& slot : registry.FTypes) {
    if (slot != nullptr && slot->FamilyId() == family &&
        DescriptionsMatch(slot->Description(), description)) {
      type = slot->TypeId();
      return true;
    }
  }
  return false;
}

void TypesOfFamily(TConvFamilyId family, TConvTypeArray& types) {
  types.clear();
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FTypeLock);
  std::size_t count = 0;
  for (const auto& slot : registry.FTypes) {
    if (slot != nullptr && slot->FamilyId() == family) {
      ++count;
    }
  }
  types.reserve(count);
  for (const auto& slot : registry.FTypes) {
    if (slot != nullptr && slot->FamilyId() == family) {
      types.push_back(slot->TypeId());
    }
  }
}

std::string DescriptionOfType(TConvType type) {
  TConvRegistry& registry = Registry();
  return DescriptionInList(registry.FTypeLock, registry.FTypes, type, res::SConvIllegalType);
}

std::string DescriptionOfFamily(TConvFamilyId family) {
  TConvRegistry& registry = Registry();
  return DescriptionInList(registry.FFamilyLock, registry.FFamilies, family,
                           res::SConvIllegalFamily);
}

bool FindFamilyInfo(TConvFamilyId family, TConvFamilyInfo*& info) {
  TConvRegistry& registry = Registry();
  return FindInList(registry.FFamilyLock, registry.FFamilies, family, info);
}

bool FindTypeInfo(TConvType type, TConvTypeInfo*& info) {
  TConvRegistry& registry = Registry();
  return FindInList(registry.FTypeLock, registry.FTypes, type, info);
}

void ClearConvRegistry() {
  TConvRegistry& registry = Registry();
  EmptyList(registry.FTypeLock, registry.FTypes);
  EmptyList(registry.FFamilyLock, registry.FFamilies);
}

double ConvertValue(double value, TConvType from, TConvType to) {
  TConvRegistry& registry = Registry();
  // One read hold over both lookups and both steps: a removal on another
  // thread waits until the conversion is done with the unit types.
  TReadGuard read(registry.FTypeLock);
  const auto& types = registry.FTypes;
  const TConvTypeInfo* fromInfo = from < types.size() ? types[from].get() : nullptr;
  const TConvTypeInfo* toInfo =
      fromInfo != nullptr && to < types.size() ? types[to].get() : nullptr;
  if (toInfo == nullptr || fromInfo->FamilyId() != toInfo->FamilyId()) [[unlikely]] {
    throw EConversionError(
        Format(res::SConvIncompatibleTypes, {DescriptionOfType(from), DescriptionOfType(to)}));
  }
  // Two steps, the base value rounded to double between them: 1 Points in
  // Microns is 351.4598, where one ratio would give 351.45980000000003.
  return toInfo->FromBase(fromInfo->ToBase(value));
}

namespace detail {

std::size_t ConvFamilyListLength() {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FFamilyLock);
  return registry.FFamilies.size();
}

std::size_t ConvTypeListLength() {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FTypeLock);
  return registry.FTypes.size();
}

TConvFamilyId LastConvFamilyId() {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FFamilyLock);
  return registry.FLastFamilyId;
}

TConvType LastConvType() {
  TConvRegistry& registry = Registry();
  TReadGuard read(registry.FTypeLock);
  return registry.FLastTypeId;
}

void ResetConvRegistry(TConvFamilyId lastFamilyId, TConvType lastTypeId) {
  ClearConvRegistry();
  TConvRegistry& registry = Registry();
  {
    TWriteGuard write(registry.FFamilyLock);
    registry.FLastFamilyId = lastFamilyId;
  }
  TWriteGuard write(registry.FTypeLock);
  registry.FLastTypeId = lastTypeId;
}

}  // namespace detail

}  // namespace korvalen
