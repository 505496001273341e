#pragma once

// The standard catalogue: six measure families with 131 unit types.
//
// RegisterStandardUnits registers, on a registry that nothing else has used,
// the families 1 to 6 ("Distance", "Area", "Volume", "Mass", "Temperature",
// "Time", with the base units "Meters", "SquareMeters", "CubicMeters",
// "Grams", "Celsius", "Days") and the unit types 1 to 131 in catalogue order:
// "Volume" holds 48 to 95, "Mass" 96 to 111. After it,
//   ConvertValue(1, kilograms, pounds) gives 2.2046226218487757,
//   ConvertValue(100, celsius, fahrenheit) gives 212.
// If the registry refuses a registration (a family of the same description is
// already there), the families this call registered are removed again and the
// registry's error passes to the caller.
//
// UnregisterStandardUnits removes the six families in registration order,
// with their unit types; without a registration before it, it does nothing.

namespace korvalen {

void RegisterStandardUnits();
void UnregisterStandardUnits();

// Registers the standard units for its lifetime: a step of a program's
// start-up order whose destructor is the matching shutdown step.
class TStandardUnitsScope {
 public:
  TStandardUnitsScope() { RegisterStandardUnits(); }
  ~TStandardUnitsScope() { UnregisterStandardUnits(); }
  TStandardUnitsScope(const TStandardUnitsScope&) = delete;
  TStandardUnitsScope& operator=(const TStandardUnitsScope&) = delete;
};

}  // namespace korvalen
