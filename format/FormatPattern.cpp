// The pattern formatter: sections, digit placeholders, quoted text, grouping
// and the exponent form.

#include <cstring>
#include <optional>
#include <string_view>

#include "format/FormatResult.h"
#include "format/FormatText_p.h"
#include "platform/runtime/Exceptions.h"
#include "platform/runtime/ResourceStrings.h"

namespace korvalen {
namespace {

constexpr std::size_t kMaxPatternLength = 224;
constexpr int kMaxExponentDigits = 4;

// The longest text one section can make. A placeholder writes at most a digit
// with the decimal separator before it and a thousands separator after it;
// the first one also up to 18 surplus integer digits, each with a thousands
// separator. An exponent marker (at least two characters) writes its letter,
// a sign and at most four digits (the exponent lies in [-547, 310]); any
// other character writes itself at most; "-" goes before it all.
constexpr std::size_t kOutputCapacity =
    std::size_t{3} * kMaxPatternLength + std::size_t{2} * kMaxDigits + 1;

struct TToken {
  enum class TKind { End, DigitPlaceholder, ZeroPlaceholder, Point, Comma, Text, Exponent };
  TKind Kind = TKind::End;
  std::string_view Text;  // TKind::Text: copied as it is
  char Letter = 'E';      // TKind::Exponent
  bool ShowsPlus = false;
  int Zeros = 0;
};

// Reads a section token by token. It ends at a ";" outside quotes, at an
// unmatched quote, or at the end of the pattern.
class SectionReader {
 public:
  explicit SectionReader(std::string_view section) : FRest(section) {}

  TToken Next() noexcept {
    TToken token;
    if (FRest.empty()) {
      return token;
    }
    const char c = FRest.front();
    switch (c) {
      case ';':
        FRest.remove_prefix(1);
        FEndedAtSemicolon = true;
        return token;
      case '\'':
      case '"': {
        const std::size_t close = FRest.find(c, 1);
        if (close == std::string_view::npos) {
          FRest = {};
          return token;
        }
        token.Kind = TToken::TKind::Text;
        token.Text = FRest.substr(1, close - 1);
        FRest.remove_prefix(close + 1);
        return token;
      }
      case '#':
        token.Kind = TToken::TKind::DigitPlaceholder;
        break;
      case '0':
        token.Kind = TToken::TKind::ZeroPlaceholder;
        break;
      case '.':
        token.Kind = TToken::TKind::Point;
        break;
      case ',':
        token.Kind = TToken::TKind::Comma;
        break;
      case 'E':
      case 'e':
        if (FRest.size() > 1 && (FRest[1] == '+' || FRest[1] == '-')) {
          token.Kind = TToken::TKind::Exponent;
          token.Letter = c;
          token.ShowsPlus = FRest[1] == '+';
          std::size_t end = 2;
          while (end < FRest.size() && FRest[end] == '0') {
            ++end;
          }
          token.Zeros = static_cast<int>(end - 2);
          FRest.remove_prefix(end);
          return token;
        }
        token.Kind = TToken::TKind::Text;
        token.Text = FRest.substr(0, 1);
        break;
      default:
        token.Kind = TToken::TKind::Text;
        token.Text = FRest.substr(0, 1);
        break;
    }
    FRest.remove_prefix(1);
    return token;
  }

  bool EndedAtSemicolon() const noexcept { return FEndedAtSemicolon; }
  // What follows the section once Next has given End.
  std::string_view Rest() const noexcept { return FRest; }

 private:
  std::string_view FRest;
  bool FEndedAtSemicolon = false;
};

struct TSection {
  int Index = 0;
  std::string_view Text;  // from the section's start to the pattern's end
};

// Section `index` of the pattern, unless it is missing or empty.
std::optional<TSection> FindSection(std::string_view pattern, int index) {
  std::string_view rest = pattern;
  for (int i = 0; i < index; ++i) {
    SectionReader reader(rest);
    while (reader.Next().Kind != TToken::TKind::End) {
    }
    if (!reader.EndedAtSemicolon()) {
      return std::nullopt;
    }
    rest = reader.Rest();
  }
  if (rest.empty() || rest.front() == ';') {
    return std::nullopt;
  }
  return TSection{index, rest};
}

// The section for the value's kind, else section 0; none when section 0 is
// empty too.
std::optional<TSection> ChooseSection(std::string_view pattern, int index) {
  if (index != 0) {
    if (auto section = FindSection(pattern, index)) {
      return section;
    }
  }
  return FindSection(pattern, 0);
}

// What a section's placeholders look like: counts and indexes among them.
struct TLayout {
  int PlaceholderCount = 0;
  int DecimalIndex = 0;  // placeholders before the first "."
  int FirstZero = 0;     // index of the first "0" placeholder
  int ZeroEnd = 0;       // index just after the last "0" placeholder
  bool Grouping = false;
  bool Scientific = false;
};

TLayout ScanSection(std::string_view section) {
  TLayout layout;
  int decimalIndex = -1;
  int firstZero = -1;
  SectionReader reader(section);
  for (TToken token = reader.Next(); token.Kind != TToken::TKind::End; token = reader.Next()) {
    switch (token.Kind) {
      case TToken::TKind::ZeroPlaceholder:
        if (firstZero < 0) {
          firstZero = layout.PlaceholderCount;
        }
        layout.ZeroEnd = layout.PlaceholderCount + 1;
        ++layout.PlaceholderCount;
        break;
      case TToken::TKind::DigitPlaceholder:
        ++layout.PlaceholderCount;
        break;
      case TToken::TKind::Point:
        if (decimalIndex < 0) {
          decimalIndex = layout.PlaceholderCount;
        }
        break;
      case TToken::TKind::Comma:
        layout.Grouping = true;
        break;
      case TToken::TKind::Exponent:
        layout.Scientific = true;
        break;
      case TToken::TKind::Text:
      case TToken::TKind::End:
        break;
    }
  }
  layout.DecimalIndex = decimalIndex < 0 ? layout.PlaceholderCount : decimalIndex;
  layout.FirstZero = firstZero < 0 ? layout.PlaceholderCount : firstZero;
  return layout;
}

// Writes one section with the value's digits. Placeholders have places: 1
// just left of the decimal point, counting up leftwards; 0 just right of it,
// counting down rightwards. Digit i (from 0) has place FExponent - i.
class SectionWriter {
 public:
  SectionWriter(const TDecimalExpansion& value, const TLayout& layout)
      : FValue(value),
        FLayout(layout),
        FDigitCount(static_cast<int>(std::strlen(value.Digits))),
        FExponent(layout.Scientific ? layout.DecimalIndex : FixedExponent(value)),
        FDecimalSeparator(DecimalSeparator()),
        FThousandSeparator(ThousandSeparator()) {}

  std::string Write(const TSection& section) {
    if (FValue.Negative && section.Index == 0) {
      FText.Put('-');
    }
    int index = 0;
    SectionReader reader(section.Text);
    for (TToken token = reader.Next(); token.Kind != TToken::TKind::End; token = reader.Next()) {
      switch (token.Kind) {
        case TToken::TKind::DigitPlaceholder:
        case TToken::TKind::ZeroPlaceholder: {
          const int place = FLayout.DecimalIndex - index;
          if (index == 0) {
            // No integer digit is lost: the first placeholder takes the surplus.
            for (int surplus = FExponent; surplus > place; --surplus) {
              PutPlace(surplus, index);
            }
          }
          PutPlace(place, index);
          ++index;
          break;
        }
        case TToken::TKind::Text:
          FText.Put(token.Text);
          break;
        case TToken::TKind::Exponent:
          PutExponent(token);
          break;
        case TToken::TKind::Point:
        case TToken::TKind::Comma:
        case TToken::TKind::End:
          break;
      }
    }
    return FText.Str();
  }

 private:
  // A value without digits is a zero. Its exponent is at most 0 when it was
  // cut for fixed-point form, but a cut for the exponent form of another
  // section can leave any exponent, which must not become hundreds of zeros.
  static int FixedExponent(const TDecimalExpansion& value) noexcept {
    return value.Digits[0] == '\0' && value.Exponent > 0 ? 0 : value.Exponent;
  }

  void PutPlace(int place, int index) {
    char c = '\0';
    if (place > FExponent) {
      // Left of the first digit.
      if (place <= 0 || index >= FLayout.FirstZero) {
        c = '0';
      }
    } else if (place > FExponent - FDigitCount) {
      c = FValue.Digits[FExponent - place];
    } else if (place >= 1 || index < FLayout.ZeroEnd) {
      // Right of the last digit.
      c = '0';
    }
    if (c == '\0') {
      return;
    }
    if (place == 0) {
      FText.Put(FDecimalSeparator);
    }
    FText.Put(c);
    if (FLayout.Grouping && place > 1 && place % 3 == 1 && FThousandSeparator != '\0') {
      FText.Put(FThousandSeparator);
    }
  }

  void PutExponent(const TToken& marker) {
    FText.Put(marker.Letter);
    const int exponent = FDigitCount == 0 ? 0 : FValue.Exponent - FLayout.DecimalIndex;
    if (exponent >= 0 && marker.ShowsPlus) {
      FText.Put('+');
    }
    FText.PutExponent(exponent,
                      marker.Zeros < kMaxExponentDigits ? marker.Zeros : kMaxExponentDigits);
  }

  const TDecimalExpansion& FValue;
  const TLayout& FLayout;
  int FDigitCount;
  int FExponent;
  char FDecimalSeparator;
  char FThousandSeparator;
  TextBuffer<kOutputCapacity> FText;
};

}  // namespace

std::string FormatByPattern(std::string_view pattern, double value) {
  if (pattern.size() > kMaxPatternLength) {
    throw EConvertError(std::string(res::SFormatTooLong));
  }
  pattern = pattern.substr(0, pattern.find('\0'));

  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int kind = bits == 0 ? 2 : (bits >> 63) != 0 ? 1 : 0;
  std::optional<TSection> section = ChooseSection(pattern, kind);
  if (!section) {
    return FormatGeneral(value, kFallbackPrecision);
  }
  TLayout layout = ScanSection(section->Text);

  const TDecimalExpansion expansion =
      layout.Scientific
          ? ToDecimalExpansion(value, layout.PlaceholderCount, kNoDecimalsCap)
          : ToDecimalExpansion(value, kMaxDigits, layout.PlaceholderCount - layout.DecimalIndex);
  if (expansion.Exponent == TDecimalExpansion::InfinityExponent ||
      expansion.Exponent == TDecimalExpansion::NaNExponent ||
      (!layout.Scientific && expansion.Exponent > kMaxDigits)) {
    return FormatGeneral(value, kFallbackPrecision);
  }

  if (expansion.Digits[0] == '\0') {
    // Zero, or rounded to zero: the zero section, laid out afresh but with
    // the digits already cut.
    const std::optional<TSection> zeroSection = ChooseSection(pattern, 2);
    if (!zeroSection) {
      return FormatGeneral(value, kFallbackPrecision);
    }
    if (zeroSection->Index != section->Index) {
      section = zeroSection;
      layout = ScanSection(section->Text);
    }
  }
  return SectionWriter(expansion, layout).Write(*section);
}

}  // namespace korvalen
