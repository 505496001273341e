#include "cli/Conversion.h"

#include "format/FormatResult.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace korvalen::cli {

namespace {

bool IsDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) noexcept {
  return c == ' ' || c == '\t';
}

// The general form keeps at least two digits; one digit follows the same
// rules on a one-digit expansion.
std::string GeneralOneDigit(double value) {
  if (!std::isfinite(value)) {
    return FormatGeneral(value, 2);
  }
  const TDecimalExpansion expansion = ToDecimalExpansion(value, 1, 9999);
  const int exponent = expansion.Exponent;
  std::string text;
  if (expansion.Negative) {
    text += '-';
  }
  if (exponent > 1 || exponent < -3) {
    text += expansion.Digits[0];
    text += 'E';
    text += std::to_string(exponent - 1);
  } else if (exponent <= 0) {
    text += '0';
    if (expansion.Digits[0] != '\0') {
      text += DecimalSeparator();
      text.append(static_cast<std::size_t>(-exponent), '0');
      text += expansion.Digits[0];
    }
  } else {
    text += expansion.Digits[0];
  }
  return text;
}

EInputError BadAmount(std::string_view text) {
  return EInputError("invalid amount " + Quoted(text));
}

}  // namespace

std::string FormatValue(double value, const TResultForm& form) {
  switch (form.Kind) {
    case TResultForm::TKind::General:
      return form.Digits < 2 ? GeneralOneDigit(value) : FormatGeneral(value, form.Digits);
    case TResultForm::TKind::Pattern:
      return FormatByPattern(form.Pattern, value);
    case TResultForm::TKind::Window:
      break;
  }
  return FormatResult(value);
}

double ParseAmount(std::string_view text, char localeSeparator) {
  // The amount in the form from_chars and strtod read: point, no "+".
  std::string plain;
  plain.reserve(text.size());
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') {
      plain += '-';
    }
    ++i;
  }
  std::size_t digits = 0;
  bool separator = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      plain += c;
      ++digits;
    } else if (!separator && (c == '.' || (c == localeSeparator && c != '\0'))) {
      separator = true;
      plain += '.';
    } else {
      break;
    }
  }
  if (digits == 0) {
    throw BadAmount(text);
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      plain += text[i++];
    }
    std::size_t exponentDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++exponentDigits) {
      plain += text[i];
    }
    if (exponentDigits == 0) {
      throw BadAmount(text);
    }
  }
  if (i != n) {
    throw BadAmount(text);
  }
  double value = 0.0;
  const char* first = plain.data();
  const char* last = first + plain.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error == std::errc::result_out_of_range) {
    // from_chars reports underflow and overflow alike; strtod tells them
    // apart (the program never leaves the C locale, so it reads the point).
    value = std::strtod(plain.c_str(), nullptr);
    if (std::isinf(value)) {
      throw EInputError("amount " + Quoted(text) + " is out of range");
    }
  } else if (error != std::errc() || end != last) {
    throw BadAmount(text);
  }
  return value;
}

std::string Quoted(std::string_view word) {
  std::string text = "'";
  for (const char c : word) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  text += '\'';
  return text;
}

TConverter::TConverter(const TUnitIndex& index, TResultForm form, char decimalSeparator)
    : FIndex(index), FForm(std::move(form)), FDecimalSeparator(decimalSeparator) {}

void TConverter::Resolve(std::string_view word, TUnitWord& unit) const {
  unit.Family = IllegalFamilyId;
  unit.Matches.clear();
  const std::size_t colon = word.find(':');
  if (colon == std::string_view::npos) {
    FIndex.FindInAllFamilies(word, unit.Matches);
    if (unit.Matches.empty()) {
      throw EInputError("unknown unit " + Quoted(word) + " (see korvalen-convert --list)");
    }
    return;
  }
  const std::string_view familyWord = word.substr(0, colon);
  const std::string_view typeWord = word.substr(colon + 1);
  TConvFamilyId family = IllegalFamilyId;
  if (!FIndex.FindFamily(familyWord, family)) {
    throw EInputError("unknown family " + Quoted(familyWord) + " (see korvalen-convert --list)");
  }
  TConvType type = IllegalTypeId;
  if (!FIndex.FindType(family, typeWord, type)) {
    const std::string name = DescriptionOfFamily(family);
    throw EInputError("unknown unit " + Quoted(typeWord) + " in " + name +
                      " (see korvalen-convert --list " + name + ")");
  }
  unit.Family = family;
  unit.Matches.push_back({family, type});
}

std::string TConverter::Convert(std::string_view amount, std::string_view from,
                                std::string_view to) {
  const double value = ParseAmount(amount, FDecimalSeparator);
  Resolve(from, FFrom);
  Resolve(to, FTo);
  TUnitRef source = FFrom.Matches.front();
  TUnitRef target = FTo.Matches.front();
  for (const TUnitRef& candidate : FFrom.Matches) {
    const auto partner = std::find_if(FTo.Matches.begin(), FTo.Matches.end(), [&](TUnitRef unit) {
      return unit.Family == candidate.Family;
    });
    if (partner != FTo.Matches.end()) {
      source = candidate;
      target = *partner;
      break;
    }
  }
  double result = 0.0;
  try {
    // Units of different families are left to the engine, whose message
    // names both.
    result = ConvertValue(value, source.Type, target.Type);
  } catch (const EMathError& error) {
    // The amount has been read, so it holds no byte that needs escaping.
    throw EConversionError(std::string(amount) + " " + DescriptionOfType(source.Type) + " in " +
                           DescriptionOfType(target.Type) + ": " + error.Message());
  }
  return FormatValue(result, FForm);
}

bool TConverter::ConvertLine(std::string_view line, std::string& out) {
  std::string_view words[3];
  std::size_t count = 0;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) {
      ++i;
    }
    if (i == line.size()) {
      break;
    }
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) {
      ++i;
    }
    if (count < 3) {
      words[count] = line.substr(start, i - start);
    }
    ++count;
  }
  try {
    if (count != 3) {
      throw EInputError("expected AMOUNT FROM TO, got " +
                        (count == 0 ? std::string("an empty line")
                                    : std::to_string(count) + (count == 1 ? " word" : " words")));
    }
    out += Convert(words[0], words[1], words[2]);
    out += '\n';
    return true;
  } catch (const Exception& error) {
    out += "error: ";
    out += error.Message();
    out += '\n';
    return false;
  }
}

void TStreamConverter::EndLine(std::string_view line, std::string& out) {
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  if (FOverlong || line.size() > MaxLineLength) {
    out += "error: line longer than " + std::to_string(MaxLineLength) + " bytes\n";
    FFailed = true;
  } else if (!FConverter.ConvertLine(line, out)) {
    FFailed = true;
  }
}

void TStreamConverter::Feed(std::string_view chunk, std::string& out) {
  // One byte beyond the limit is kept, for the "\r" of a longest line.
  constexpr std::size_t Kept = MaxLineLength + 1;
  while (!chunk.empty()) {
    const std::size_t newline = chunk.find('\n');
    const std::string_view part = chunk.substr(0, newline);
    if (!FOverlong && FPending.size() + part.size() > Kept) {
      FOverlong = true;
      FPending.clear();
    }
    if (newline == std::string_view::npos) {
      if (!FOverlong) {
        FPending.append(part);
      }
      return;
    }
    chunk.remove_prefix(newline + 1);
    if (FOverlong || FPending.empty()) {
      EndLine(part, out);
    } else {
      FPending.append(part);
      EndLine(FPending, out);
    }
    FPending.clear();
    FOverlong = false;
  }
}

void TStreamConverter::Finish(std::string& out) {
  if (FOverlong || !FPending.empty()) {
    EndLine(FPending, out);
  }
  FPending.clear();
  FOverlong = false;
}

}  // namespace korvalen::cli
