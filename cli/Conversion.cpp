#include "cli/Conversion.h"

#include "cli/UnitNames.h"
#include "engine/DateUtils.h"
#include "format/FormatResult.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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

namespace {

enum class TReadStatus { Ok, Invalid, OutOfRange };

// One reading of a number: decimals are the strings that may mark the
// decimal point, group the one that may group digits by threes (empty: none).
TReadStatus ReadNumber(std::string_view text, std::string_view decimal, bool pointIsDecimal,
                       std::string_view group, double& value) {
  // The number in the form from_chars and strtod read: point, no "+".
  std::string plain;
  plain.reserve(text.size());
  std::size_t i = 0;
  const std::size_t n = text.size();
  const auto at = [&](std::string_view what) {
    return !what.empty() && text.substr(i, what.size()) == what;
  };
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') {
      plain += '-';
    }
    ++i;
  }
  std::size_t digits = 0;
  std::size_t run = 0;  // digits since the start or the last group separator
  bool grouped = false;
  for (; i < n && IsDigit(text[i]); ++i, ++digits, ++run) {
    plain += text[i];
  }
  while (digits > 0 && at(group) && (grouped ? run == 3 : run <= 3)) {
    i += group.size();
    grouped = true;
    run = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++digits, ++run) {
      plain += text[i];
    }
    if (run != 3) {
      return TReadStatus::Invalid;
    }
  }
  if ((pointIsDecimal && i < n && text[i] == '.') || at(decimal)) {
    i += (pointIsDecimal && text[i] == '.') ? 1 : decimal.size();
    plain += '.';
    for (; i < n && IsDigit(text[i]); ++i, ++digits) {
      plain += text[i];
    }
  }
  if (digits == 0) {
    return TReadStatus::Invalid;
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
      return TReadStatus::Invalid;
    }
  }
  if (i != n) {
    return TReadStatus::Invalid;
  }
  const char* first = plain.data();
  const char* last = first + plain.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error == std::errc::result_out_of_range) {
    // from_chars reports underflow and overflow alike; strtod tells them
    // apart (the program never leaves the C locale, so it reads the point).
    value = std::strtod(plain.c_str(), nullptr);
    return std::isinf(value) ? TReadStatus::OutOfRange : TReadStatus::Ok;
  }
  return error == std::errc() && end == last ? TReadStatus::Ok : TReadStatus::Invalid;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A number, without a fraction. Where the locale groups with the point,
// the point may also be a decimal point: both readings are taken, and a text
// that reads both ways with different values is refused.
double ReadPlainAmount(std::string_view text, std::string_view whole,
                       const TNumberSeparators& separators) {
  std::string_view group = separators.Thousand;
  if (group == separators.Decimal) {
    group = {};
  }
  double value = 0.0;
  TReadStatus status = TReadStatus::Invalid;
  if (group == ".") {
    double decimalReading = 0.0;
    status = ReadNumber(text, separators.Decimal, false, group, value);
    const TReadStatus other = ReadNumber(text, separators.Decimal, true, {}, decimalReading);
    if (status == TReadStatus::Ok && other == TReadStatus::Ok && value != decimalReading) {
      throw EInputError("amount " + Quoted(whole) + " reads two ways: " + FormatGeneral(value, 15) +
                        " with '.' grouping digits, or " + FormatGeneral(decimalReading, 15) +
                        " with '.' as the decimal point");
    }
    if (status != TReadStatus::Ok) {
      status = other;
      value = decimalReading;
    }
  } else {
    status = ReadNumber(text, separators.Decimal, true, group, value);
  }
  if (status == TReadStatus::OutOfRange) {
    throw EInputError("amount " + Quoted(whole) + " is out of range");
  }
  if (status != TReadStatus::Ok) {
    throw BadAmount(whole);
  }
  return value;
}

// A date, and a time of day to the minute or second, as a date-time serial:
// "2024-01-01", "2024-01-01T12:00". False for any other text.
bool ReadDate(std::string_view text, double& serial) {
  const auto number = [&](std::size_t from, std::size_t count, int& value) {
    if (from + count > text.size()) {
      return false;
    }
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      if (!IsDigit(text[i])) {
        return false;
      }
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  double date = 0.0;
  if (!number(0, 4, year) || text.size() < 10 || text[4] != '-' || !number(5, 2, month) ||
      text[7] != '-' || !number(8, 2, day) || !TryEncodeDate(year, month, day, date)) {
    return false;
  }
  if (text.size() > 10) {
    const bool time =
        text[10] == 'T' && number(11, 2, hour) && text.size() >= 16 && text[13] == ':' &&
        number(14, 2, minute) &&
        (text.size() == 16 || (text.size() == 19 && text[16] == ':' && number(17, 2, second)));
    if (!time || hour > 23 || minute > 59 || second > 59) {
      return false;
    }
  }
  // The time of day counts away from zero, also before 1899-12-30.
  const double time = ((hour * 60.0 + minute) * 60.0 + second) / 86400.0;
  serial = date < 0 ? date - time : date + time;
  return true;
}

bool LooksLikeDate(std::string_view text) {
  return text.size() >= 5 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2]) &&
         IsDigit(text[3]) && text[4] == '-';
}

struct TAmount {
  double Value = 0.0;
  bool IsDate = false;
  std::string_view Text;
};

// Where an amount glued to its unit ends: at the first byte no amount holds.
std::size_t AmountEnd(std::string_view word, const TNumberSeparators& separators) {
  std::size_t i = 0;
  while (i < word.size()) {
    const std::string_view rest = word.substr(i);
    if (IsDigit(word[i]) || IsBlank(word[i]) ||
        std::string_view("+-./,eE").find(word[i]) != std::string_view::npos) {
      ++i;
    } else if (!separators.Decimal.empty() && rest.starts_with(separators.Decimal)) {
      i += separators.Decimal.size();
    } else if (!separators.Thousand.empty() && rest.starts_with(separators.Thousand)) {
      i += separators.Thousand.size();
    } else {
      break;
    }
  }
  return i;
}

std::string FamilyUnit(TUnitRef unit) {
  return DescriptionOfFamily(unit.Family) + ":" + DescriptionOfType(unit.Type);
}

// "A, B or C".
std::string Alternatives(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ");
    text += names[i];
  }
  return text;
}

std::string Candidates(const std::vector<TUnitRef>& units, TConvFamilyId onlyFamily) {
  std::vector<std::string> names;
  for (const TUnitRef unit : units) {
    if (onlyFamily == IllegalFamilyId || unit.Family == onlyFamily) {
      names.push_back(FamilyUnit(unit));
    }
  }
  return Alternatives(names);
}

bool IsTo(std::string_view word) {
  return word.size() == 2 && (word[0] == 't' || word[0] == 'T') &&
         (word[1] == 'o' || word[1] == 'O');
}

}  // namespace

double ParseAmount(std::string_view text, const TNumberSeparators& separators) {
  const std::string_view amount = Trimmed(text);
  const std::size_t slash = amount.find('/');
  if (slash == std::string_view::npos) {
    return ReadPlainAmount(amount, text, separators);
  }
  const std::string_view denominator = amount.substr(slash + 1);
  if (denominator.empty() || denominator.size() > 9 ||
      !std::all_of(denominator.begin(), denominator.end(), IsDigit)) {
    throw BadAmount(text);
  }
  const double divisor = std::stod(std::string(denominator));
  if (divisor == 0) {
    throw EInputError("amount " + Quoted(text) + " divides by zero");
  }
  return ReadPlainAmount(Trimmed(amount.substr(0, slash)), text, separators) / divisor;
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

TConverter::TConverter(const TUnitIndex& index, TResultForm form, TNumberSeparators separators)
    : FIndex(index), FForm(std::move(form)), FSeparators(std::move(separators)) {
  const std::string& decimal = FSeparators.Decimal;
  const std::string& thousand = FSeparators.Thousand;
  if (decimal.size() == 1 && thousand.size() <= 1 && thousand != decimal) {
    SetNumberSeparators(decimal[0], thousand.empty() ? '\0' : thousand[0]);
  } else {
    // Stand-ins are control bytes the pattern does not hold, so that neither
    // its quoted text nor the result's digits are taken for them; a pattern
    // holding them all keeps the formatter's one-byte separators.
    std::vector<char> free;
    for (char c = '\x01'; c < '\x20'; ++c) {
      if (c != '\t' && c != '\n' && c != '\r' && FForm.Pattern.find(c) == std::string::npos) {
        free.push_back(c);
      }
    }
    if (free.size() >= 2) {
      FDecimalStandIn = free[0];
      FThousandStandIn = thousand.empty() ? '\0' : free[1];
      SetNumberSeparators(FDecimalStandIn, FThousandStandIn);
    } else {
      ReadNumberSeparators();
    }
  }
  std::vector<TUnitRef> found;
  FIndex.FindInAllFamilies("DateTime", found);
  if (!found.empty()) {
    FDateTime = found.front().Type;
  }
  for (const TScaleZero& scale : ScaleZeros()) {
    FIndex.FindInAllFamilies(scale.Unit, found);
    for (const TUnitRef unit : found) {
      FScaleZeros.emplace_back(unit.Type, scale.Zero);
    }
  }
}

std::string TConverter::Localized(std::string text) const {
  if (FDecimalStandIn == '\0') {
    return text;
  }
  std::string result;
  result.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == FDecimalStandIn) {
      result += FSeparators.Decimal;
    } else if (c == FThousandStandIn && c != '\0') {
      result += FSeparators.Thousand;
    } else {
      result += c;
    }
  }
  return result;
}

void TConverter::Resolve(std::string_view word, TUnitWord& unit, std::string& problems) {
  unit.Text = word;
  if (const auto known = FKnown.find(word); known != FKnown.end()) {
    unit.Matches = known->second;
    return;
  }
  unit.Matches.clear();
  TConvFamilyId family = IllegalFamilyId;
  std::string_view name = word;
  const std::size_t colon = word.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view familyWord = word.substr(0, colon);
    name = word.substr(colon + 1);
    if (!FIndex.FindFamily(familyWord, family)) {
      problems += problems.empty() ? "" : " ";
      problems += "unknown family " + Quoted(familyWord) + " (see korvalen-convert --list)";
      return;
    }
  }
  const TUnitIndex::TMatch match = FIndex.FindUnits(name, family, unit.Matches);
  if (match == TUnitIndex::TMatch::Units) {
    if (FKnown.size() == MaxKnownWords) {
      FKnown.clear();
    }
    FKnown.emplace(word, unit.Matches);
    return;
  }
  problems += problems.empty() ? "" : " ";
  if (match == TUnitIndex::TMatch::Refused) {
    problems += "unit " + Quoted(name) + " could be " + Candidates(unit.Matches, IllegalFamilyId) +
                "; name one";
    unit.Matches.clear();
    return;
  }
  const std::string familyName =
      family == IllegalFamilyId ? std::string() : DescriptionOfFamily(family);
  problems += "unknown unit " + Quoted(name);
  if (!familyName.empty()) {
    problems.append(" in ").append(familyName);
  }
  const std::vector<std::string> nearest = FIndex.Nearest(name, family);
  if (nearest.empty()) {
    problems += " (see korvalen-convert --list";
    if (!familyName.empty()) {
      problems.append(" ").append(familyName);
    }
    problems += ")";
  } else {
    problems += "; did you mean " + Alternatives(nearest) + "?";
  }
}

std::string_view TConverter::Joined(std::span<const std::string_view> words,
                                    std::string& storage) const {
  if (words.size() == 1) {
    return words.front();
  }
  storage.clear();
  for (const std::string_view word : words) {
    storage += storage.empty() ? "" : " ";
    storage += word;
  }
  return storage;
}

std::string TConverter::Convert(std::span<const std::string_view> words) {
  if (words.empty()) {
    throw ERequestShape("expected AMOUNT FROM TO, got nothing");
  }
  TAmount amount;
  amount.Text = Trimmed(words.front());
  FWords.clear();
  try {
    amount.Value = ParseAmount(amount.Text, FSeparators);
  } catch (const EInputError&) {
    const std::size_t end = AmountEnd(amount.Text, FSeparators);
    if (LooksLikeDate(amount.Text)) {
      if (!ReadDate(amount.Text, amount.Value)) {
        throw EInputError("invalid date " + Quoted(amount.Text) +
                          " (YYYY-MM-DD, YYYY-MM-DDThh:mm or YYYY-MM-DDThh:mm:ss)");
      }
      amount.IsDate = true;
    } else if (end == 0 || end == amount.Text.size() ||
               !(words.size() == 2 || (words.size() > 2 && IsTo(words[1])))) {
      // Glued only where FROM is missing without it: "0x10 Grams Grams" is a
      // bad amount, not the unit "x10".
      throw;
    } else {
      const std::string_view glued = amount.Text;
      amount.Text = Trimmed(glued.substr(0, end));
      amount.Value = ParseAmount(amount.Text, FSeparators);
      FWords.push_back(glued.substr(end));
    }
  }
  FWords.insert(FWords.end(), words.begin() + 1, words.end());

  std::span<const std::string_view> rest(FWords);
  std::string_view from;
  std::string_view to;
  const auto toWord = std::find_if(rest.begin(), rest.end(), IsTo);
  if (toWord != rest.end()) {
    const auto at = static_cast<std::size_t>(toWord - rest.begin());
    if (at == 0 || at + 1 == rest.size() ||
        std::find_if(toWord + 1, rest.end(), IsTo) != rest.end()) {
      throw ERequestShape("expected AMOUNT FROM to TO");
    }
    from = Joined(rest.first(at), FFromText);
    to = Joined(rest.subspan(at + 1), FToText);
  } else if (rest.size() == 2) {
    from = rest[0];
    to = rest[1];
  } else {
    const std::size_t count = words.size();
    throw ERequestShape("expected AMOUNT FROM TO, got " + std::to_string(count) +
                        (count == 1 ? " word" : " words") +
                        (count > 3 ? " (a unit of several words needs 'to' before TO)" : ""));
  }

  std::string problems;
  Resolve(from, FFrom, problems);
  Resolve(to, FTo, problems);
  if (!problems.empty()) {
    throw EInputError(problems);
  }
  // The family both units share decides; catalogue order never does.
  std::vector<TConvFamilyId> shared;
  for (const TUnitRef candidate : FFrom.Matches) {
    const bool partner = std::any_of(FTo.Matches.begin(), FTo.Matches.end(), [&](TUnitRef unit) {
      return unit.Family == candidate.Family;
    });
    if (partner && std::find(shared.begin(), shared.end(), candidate.Family) == shared.end()) {
      shared.push_back(candidate.Family);
    }
  }
  if (shared.size() > 1) {
    throw EInputError("ambiguous units: " + Quoted(FFrom.Text) + " could be " +
                      Candidates(FFrom.Matches, IllegalFamilyId) + ", " + Quoted(FTo.Text) +
                      " could be " + Candidates(FTo.Matches, IllegalFamilyId) +
                      "; put the family before a unit, as in " +
                      DescriptionOfFamily(shared.front()) + ":" + std::string(FFrom.Text));
  }
  if (shared.empty() && (FFrom.Matches.size() > 1 || FTo.Matches.size() > 1)) {
    throw EConversionError("Incompatible conversion types: " + Quoted(FFrom.Text) + " is " +
                           Candidates(FFrom.Matches, IllegalFamilyId) + ", " + Quoted(FTo.Text) +
                           " is " + Candidates(FTo.Matches, IllegalFamilyId));
  }
  // With no family shared, each word has one unit: the engine's message
  // names both.
  const auto inFamily = [&](const std::vector<TUnitRef>& units) {
    return shared.empty() ? units.front()
                          : *std::find_if(units.begin(), units.end(), [&](TUnitRef unit) {
                              return unit.Family == shared.front();
                            });
  };
  const TUnitRef source = inFamily(FFrom.Matches);
  const TUnitRef target = inFamily(FTo.Matches);

  if (amount.IsDate && source.Type != FDateTime) {
    throw EInputError("a date is an amount of DateTime, not of " + DescriptionOfType(source.Type));
  }
  for (const auto& [type, zero] : FScaleZeros) {
    if (type == source.Type && amount.Value < zero) {
      throw EInputError(std::string(amount.Text) + " " + DescriptionOfType(type) +
                        " is below absolute zero (" + FormatGeneral(zero, 15) + " " +
                        DescriptionOfType(type) + ")");
    }
  }
  double result = 0.0;
  try {
    result = ConvertValue(amount.Value, source.Type, target.Type);
  } catch (const EMathError& error) {
    // The amount has been read, so it holds no byte that needs escaping.
    throw EConversionError(std::string(amount.Text) + " " + DescriptionOfType(source.Type) +
                           " in " + DescriptionOfType(target.Type) + ": " + error.Message());
  }
  return Localized(FormatValue(result, FForm));
}

bool TConverter::ConvertLine(std::string_view line, std::string& out) {
  std::string_view words[8];
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
    if (count < std::size(words)) {
      words[count] = line.substr(start, i - start);
    }
    ++count;
  }
  if (count == 0 || words[0].front() == '#') {
    out += '\n';
    return true;
  }
  try {
    if (count > std::size(words)) {
      throw ERequestShape("expected AMOUNT FROM TO, got " + std::to_string(count) + " words");
    }
    out += Convert(std::span(words, count));
    out += '\n';
    return true;
  } catch (const Exception& error) {
    out += "error: ";
    out += Localized(error.Message());
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
