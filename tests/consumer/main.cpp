// Converts one kilogram to pounds through the installed engine.
#include <cstdio>

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"

int main() {
  korvalen::RegisterStandardUnits();
  korvalen::TConvFamilyId mass = korvalen::IllegalFamilyId;
  korvalen::TConvType kilograms = korvalen::IllegalTypeId;
  korvalen::TConvType pounds = korvalen::IllegalTypeId;
  if (!korvalen::FamilyFromDescription("Mass", mass) ||
      !korvalen::TypeFromDescription(mass, "Kilograms", kilograms) ||
      !korvalen::TypeFromDescription(mass, "Pounds", pounds)) {
    return 1;
  }
  std::printf("%s\n",
              korvalen::FormatResult(korvalen::ConvertValue(1.0, kilograms, pounds)).c_str());
  korvalen::UnregisterStandardUnits();
  return 0;
}
