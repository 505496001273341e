#include "platform/runtime/TextCompare.h"

#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace korvalen {

namespace {

bool IsAscii(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

char FoldAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A to Z match a to z; every other byte only itself.
bool AsciiCaselessEqual(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

bool IsValidUtf8(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      return false;
    }
  }
  return true;
}

// The canonical decomposition; the text unchanged should ICU's data be
// missing, which leaves both sides of a comparison treated alike.
icu::UnicodeString Decomposed(const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) {
    return text;
  }
  icu::UnicodeString result = nfd->normalize(text, status);
  return U_SUCCESS(status) ? result : text;
}

// NFD, full default case folding, NFD again: the canonical caseless form.
icu::UnicodeString CaselessKey(std::string_view text) {
  icu::UnicodeString key = Decomposed(icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size()))));
  key.foldCase(U_FOLD_CASE_DEFAULT);
  return Decomposed(key);
}

}  // namespace

bool DescriptionsMatch(std::string_view a, std::string_view b) {
  const bool asciiA = IsAscii(a);
  const bool asciiB = IsAscii(b);
  if (asciiA && asciiB) {
    // Default case folding changes no ASCII character but A to Z.
    return AsciiCaselessEqual(a, b);
  }
  // Texts beyond ICU's 32-bit lengths are compared bytewise too.
  constexpr std::size_t MaxIcuLength = 0x7FFFFFFF;
  if (a.size() > MaxIcuLength || b.size() > MaxIcuLength || (!asciiA && !IsValidUtf8(a)) ||
      (!asciiB && !IsValidUtf8(b))) {
    return AsciiCaselessEqual(a, b);
  }
  return CaselessKey(a) == CaselessKey(b);
}

}  // namespace korvalen
