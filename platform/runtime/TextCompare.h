#pragma once

// The one rule by which descriptions are matched: case-insensitive and the
// same under every locale.
//
// Both texts are UTF-8. They match when their canonical decompositions are
// equal after Unicode default full case folding, so "liters", "LITERS" and
// "Liters" match under every locale, Turkish included ("I" folds to "i"
// regardless of the user's language); "Liter" does not match "Liters";
// "STRASSE" matches "straße". A text that is not valid UTF-8 matches only a
// byte-for-byte equal text. Never throws except std::bad_alloc.

#include <string_view>

namespace korvalen {

bool DescriptionsMatch(std::string_view a, std::string_view b);

}  // namespace korvalen
