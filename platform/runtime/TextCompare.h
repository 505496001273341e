#pragma once

// The one rule by which descriptions are matched: case-insensitive and the
// same under every locale.
//
// Both texts are UTF-8. They match when their canonical decompositions are
// equal after Unicode default full case folding, so "liters", "LITERS" and
// "Liters" match under every locale, Turkish included ("I" folds to "i"
// regardless of the user's language); "Liter" does not match "Liters";
// "STRASSE" matches "straße". Where either text is not valid UTF-8, ASCII
// letters still match without case and every other byte only itself:
// "GR\xFFAMS" matches "Gr\xFFams", "\xC9" does not match "\xE9". Never throws except
// std::bad_alloc.
//
// ICU does the folding; its library is loaded the first time a text beyond
// ASCII is compared, so a program that only ever compares ASCII never loads
// it. Should it be missing, such texts compare as invalid UTF-8 does.

#include <string_view>

namespace korvalen {

bool DescriptionsMatch(std::string_view a, std::string_view b);

}  // namespace korvalen
