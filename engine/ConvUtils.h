#pragma once

// The conversion registry and value conversion.
//
// One registry per process holds measure families and unit types under
// description texts and hands out small identifiers for them: families and
// unit types are numbered from 1 in registration order (unit types in one
// sequence across all families), numbers are never reused, and 0 is never
// handed out. Every call is safe from any thread; lookups take the read side
// of the registry's locks, registrations and removals the write side.
//
//   TConvFamilyId mass = AddConvFamily("Mass");
//   TConvType grams = AddConvType(mass, "Grams", 1.0);
//   TConvType kilograms = AddConvType(mass, "Kilograms", 1000.0);
//   ConvertValue(2.5, kilograms, grams);   // 2500
//
// Descriptions match case-insensitively under every locale
// (DescriptionsMatch): "GRAMS" finds "Grams".
//
// Lifetime: the registry exists from its first use to the end of the process
// and is never destroyed, so no static destructor can find it gone. A program
// empties it with ClearConvRegistry (or TConvRegistryScope) at a point of its
// own choosing, after every other user of the registry has stopped. Objects
// that FindFamilyInfo and FindTypeInfo yield stay owned by the registry and
// live until their family is removed or the registry is cleared: do not
// remove a family while another thread still uses such an object.
// ConvertValue needs no such care (it holds its unit types until it returns).

#include <cstdint>
#include <string>
#include <vector>

namespace korvalen {

using TConvFamilyId = std::uint16_t;
using TConvType = std::uint16_t;
inline constexpr TConvFamilyId IllegalFamilyId = 0;
inline constexpr TConvType IllegalTypeId = 0;
using TConvTypeArray = std::vector<TConvType>;
// A conversion procedure: computes at extended precision, returns a double.
using TConvProc = double (*)(double);

class TConvRegistry;

// One registered measure family.
class TConvFamilyInfo {
 public:
  TConvFamilyInfo(std::string description, TConvFamilyId familyId);
  TConvFamilyInfo(const TConvFamilyInfo&) = delete;
  TConvFamilyInfo& operator=(const TConvFamilyInfo&) = delete;

  const std::string& Description() const noexcept { return FDescription; }
  TConvFamilyId FamilyId() const noexcept { return FFamilyId; }

 private:
  std::string FDescription;
  TConvFamilyId FFamilyId;
};

// One registered unit type: turns a value in its unit into the family's base
// unit (ToBase) and back (FromBase), each step at extended precision rounded
// once to double. A step that overflows raises EOverflow, an invalid one
// EInvalidOp, a division by zero EZeroDivide; errors of a conversion
// procedure pass unchanged.
class TConvTypeInfo {
 public:
  TConvTypeInfo(const TConvTypeInfo&) = delete;
  TConvTypeInfo& operator=(const TConvTypeInfo&) = delete;
  virtual ~TConvTypeInfo() = default;

  const std::string& Description() const noexcept { return FDescription; }
  TConvFamilyId FamilyId() const noexcept { return FFamilyId; }
  // 0 until the registry inserts the unit type.
  TConvType TypeId() const noexcept { return FTypeId; }

  virtual double ToBase(double value) const = 0;
  virtual double FromBase(double value) const = 0;

 protected:
  TConvTypeInfo(TConvFamilyId familyId, std::string description);

 private:
  friend class TConvRegistry;

  std::string FDescription;
  TConvFamilyId FFamilyId;
  TConvType FTypeId = IllegalTypeId;
};

// A unit of Factor base units: ToBase(v) is v × Factor, FromBase(v) is v ÷ Factor.
class TConvTypeFactor final : public TConvTypeInfo {
 public:
  TConvTypeFactor(TConvFamilyId familyId, std::string description, double factor);

  double Factor() const noexcept { return FFactor; }
  double ToBase(double value) const override;
  double FromBase(double value) const override;

 private:
  double FFactor;
};

// A unit related to the base unit by two procedures (a temperature scale with
// an offset, a date scale).
class TConvTypeProcs final : public TConvTypeInfo {
 public:
  TConvTypeProcs(TConvFamilyId familyId, std::string description, TConvProc toBaseProc,
                 TConvProc fromBaseProc);

  TConvProc ToBaseProc() const noexcept { return FToBaseProc; }
  TConvProc FromBaseProc() const noexcept { return FFromBaseProc; }
  double ToBase(double value) const override;
  double FromBase(double value) const override;

 private:
  TConvProc FToBaseProc;
  TConvProc FFromBaseProc;
};

// Registers a family and returns its identifier (1, 2, 3, ...).
// Throws EConversionError "Conversion family (%s) already registered" when a
// family's description matches (AddConvFamily("volume") after "Volume"), and
// "No more conversion families can be registered (%s)" once 65535 identifiers
// have been handed out. After an error nothing has changed.
TConvFamilyId AddConvFamily(const std::string& description);

// Registers a factor unit type in family and returns its identifier.
// Checks, in this order, reporting the first that fails:
//   family not registered: EConversionError "Unknown conversion family %s"
//     with the identifier as "[%.8x]" (family 0 gives [00000000]);
//   factor zero: EZeroDivide "%s has a factor of zero" with the description;
//   factor NaN or infinite: EConversionError "%s has a factor that is not a
//     finite number";
//   a unit type of the family matches the description: EConversionError
//     "Conversion type (%s) already registered in %s" with the description
//     and the family's description;
//   65535 identifiers handed out: EConversionError "No more conversion types
//     can be registered (%s)".
// After an error nothing has changed and the next registration receives the
// number the failed one would have had.
TConvType AddConvType(TConvFamilyId family, const std::string& description, double factor);

// Registers a procedure unit type: toBase turns a reading into base units,
// fromBase back. Checks as above, with "%s has no conversion procedure"
// (EConversionError) for a null procedure in place of the factor checks.
TConvType AddConvType(TConvFamilyId family, const std::string& description, TConvProc toBase,
                      TConvProc fromBase);

// Removes a family with all of its unit types; their numbers are not handed
// out again. A family that is not registered is ignored.
void RemoveConvFamily(TConvFamilyId family);

// Finds the family whose description matches; on a miss returns false and
// leaves family as it was. FamilyFromDescription("MASS", f) finds "Mass".
bool FamilyFromDescription(const std::string& description, TConvFamilyId& family);

// Finds the unit type of family whose description matches; on a miss returns
// false and leaves type as it was. A unit type of another family is not found.
bool TypeFromDescription(TConvFamilyId family, const std::string& description, TConvType& type);

// Replaces types with the unit types of family in registration order; empty
// for 0, an unregistered or a removed family.
void TypesOfFamily(TConvFamilyId family, TConvTypeArray& types);

// The registered description; "Illegal type" for 0; otherwise the number as
// "[%.8x]": DescriptionOfType(999) gives "[000003E7]" when 999 is not registered.
std::string DescriptionOfType(TConvType type);
// The same for families, with "Illegal family" for 0.
std::string DescriptionOfFamily(TConvFamilyId family);

// On success info points at the registry's object; on a miss returns false
// and leaves info as it was.
bool FindFamilyInfo(TConvFamilyId family, TConvFamilyInfo*& info);
bool FindTypeInfo(TConvType type, TConvTypeInfo*& info);

// Destroys every family and unit type. The counters keep their values, so
// numbers handed out before are not handed out again.
void ClearConvRegistry();

// Converts value from one unit type to another of the same family, through
// the base unit: from's ToBase, rounded to double, then to's FromBase, rounded
// to double (no shortcut when from equals to).
// ConvertValue(1, kilograms, pounds) gives 2.2046226218487757.
// Throws EConversionError "Incompatible conversion types [%s, %s]" (with
// DescriptionOfType of from and of to) when either is not registered or the
// families differ; EOverflow when a step leaves the double range, EInvalidOp
// for a signalling NaN; errors of a procedure pass unchanged. A quiet NaN or
// an infinity goes through the factor steps bit for bit.
// Holds the read side of the type lock from the lookups to the result, so a
// RemoveConvFamily or ClearConvRegistry on another thread waits for it and a
// conversion gives its value or finds a unit type gone. A conversion
// procedure runs under that hold: it may read the registry but never take
// the family lock (always taken before the type lock).
double ConvertValue(double value, TConvType from, TConvType to);

// Empties the registry when it goes out of scope: the registry's shutdown as
// a step of a program's start-up order.
class TConvRegistryScope {
 public:
  TConvRegistryScope() = default;
  ~TConvRegistryScope() { ClearConvRegistry(); }
  TConvRegistryScope(const TConvRegistryScope&) = delete;
  TConvRegistryScope& operator=(const TConvRegistryScope&) = delete;
};

}  // namespace korvalen
