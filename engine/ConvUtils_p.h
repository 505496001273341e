#pragma once

// Views into the registry for the engine's own tests; not installed.

#include <cstddef>

#include "engine/ConvUtils.h"

namespace korvalen::detail {

// The lengths of the family and unit-type lists (slot 0 included).
std::size_t ConvFamilyListLength();
std::size_t ConvTypeListLength();

// The last identifiers handed out.
TConvFamilyId LastConvFamilyId();
TConvType LastConvType();

// Empties the registry and sets both counters, as if the process had just
// started (0, 0) or had already handed out that many numbers. Lets each test
// start from a known registry, and reach the end of the number range without
// registering 65535 descriptions one by one.
void ResetConvRegistry(TConvFamilyId lastFamilyId = 0, TConvType lastTypeId = 0);

}  // namespace korvalen::detail
