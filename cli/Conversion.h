#pragma once

// One conversion of the command line, from the words AMOUNT FROM TO to the
// text of the result, and the stream of such lines.

#include "cli/UnitIndex.h"
#include "platform/runtime/Exceptions.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvalen::cli {

// A word of the input that names no amount, unit or family, or an amount
// beyond the double range. The message names the word.
class EInputError : public Exception {
 public:
  using Exception::Exception;
};

// How results are written.
struct TResultForm {
  enum class TKind { Window, General, Pattern };
  TKind Kind = TKind::Window;
  int Digits = 15;  // General: significant digits, 1 to 17
  std::string Pattern;
};

// The text of value in form: Window is the conversion window's "##0.00",
// General the general form with Digits significant digits, Pattern the
// pattern formatter's (which throws EConvertError for a pattern too long).
std::string FormatValue(double value, const TResultForm& form);

// The locale's own number separators, as the command line reads and writes
// them: whole strings, so multi-byte ones (U+202F in fr_FR, U+066B and U+066C
// in ps_AF) are kept rather than replaced by one-byte defaults.
struct TNumberSeparators {
  std::string Decimal = ".";
  std::string Thousand;  // empty: the locale groups no digits
};

// Words that do not form AMOUNT FROM [to] TO.
class ERequestShape : public EInputError {
 public:
  using EInputError::EInputError;
};

// Reads an amount: blanks around it are ignored; an optional sign, digits
// with at most one decimal separator (the point, or the locale's), an
// optional exponent; or a simple fraction ("1/2"). Digits may be grouped by
// threes with the locale's thousands separator ("12,345,678" in en_US; none
// in the C locale). Where that separator is the point, which also reads as a
// decimal point, "1.000" has two readings and is refused with both. No
// hexadecimal, infinity or NaN. A magnitude too small for a double reads as
// zero; one too large throws EInputError, as does any other text.
double ParseAmount(std::string_view text, const TNumberSeparators& separators);

// Shows a word of anyone's input inside a message: quoted, with control
// bytes escaped so they cannot act on a terminal.
std::string Quoted(std::string_view word);

class TConverter {
 public:
  // Sets the formatter's separators for separators; the formatter writes one
  // byte each, so multi-byte ones are written through stand-ins that
  // Localized replaces.
  TConverter(const TUnitIndex& index, TResultForm form, TNumberSeparators separators);

  // The result text of words: AMOUNT FROM TO, AMOUNT FROM to TO (the units
  // then may be several words each: "8 fl oz to ml"), or the amount glued to
  // FROM ("3kg lb", "180°C F"). A unit is any name FindUnits knows, or
  // FAMILY:NAME; the family both units share decides ("12 oz g" is Ounces,
  // "8 oz ml" FluidOunces); none or several is an error, naming the
  // candidates. An amount for DateTime may be a date ("2024-01-01T12:00");
  // a temperature below its scale's absolute zero is refused. Throws
  // ERequestShape, EInputError (naming every unknown word, with the nearest
  // names), or the engine's error.
  std::string Convert(std::span<const std::string_view> words);

  // Converts one line of blank-separated words and appends the result, or
  // "error: " and the reason, and a newline; a blank line or one starting
  // with "#" appends the newline alone. Returns whether the line converted.
  bool ConvertLine(std::string_view line, std::string& out);

  // text with the stand-ins for multi-byte separators written out.
  std::string Localized(std::string text) const;

 private:
  struct TUnitWord {
    std::string_view Text;
    std::vector<TUnitRef> Matches;
  };
  // Adds to problems what is wrong with word; the units it may be otherwise.
  void Resolve(std::string_view word, TUnitWord& unit, std::string& problems);
  std::string_view Joined(std::span<const std::string_view> words, std::string& storage) const;

  const TUnitIndex& FIndex;
  TResultForm FForm;
  TNumberSeparators FSeparators;
  char FDecimalStandIn = '\0';  // NUL: the formatter writes the separator itself
  char FThousandStandIn = '\0';
  TConvType FDateTime = IllegalTypeId;
  std::vector<std::pair<TConvType, double>> FScaleZeros;
  struct TWordHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view word) const noexcept {
      return std::hash<std::string_view>()(word);
    }
  };
  // Words a stream has named before, with their units: a stream tends to
  // repeat its units, and a symbol's lookup reads the whole table.
  static constexpr std::size_t MaxKnownWords = 1024;
  std::unordered_map<std::string, std::vector<TUnitRef>, TWordHash, std::equal_to<>> FKnown;
  // Kept to reuse their storage from line to line.
  TUnitWord FFrom;
  TUnitWord FTo;
  std::vector<std::string_view> FWords;
  std::string FFromText;
  std::string FToText;
};

// Cuts a stream of bytes into lines and converts each one as it completes,
// so that every input line gives exactly one output line. A line ends at
// "\n", with an optional "\r" before it; a last line without one ends with
// the stream. A line longer than MaxLineLength is not kept in memory: it
// gives one error line.
class TStreamConverter {
 public:
  static constexpr std::size_t MaxLineLength = 4096;

  explicit TStreamConverter(TConverter& converter) : FConverter(converter) {}

  // Converts the lines that chunk completes; appends their output to out.
  void Feed(std::string_view chunk, std::string& out);
  // Ends the stream: converts a last line that has no newline.
  void Finish(std::string& out);
  // Whether any line failed.
  bool Failed() const noexcept { return FFailed; }

 private:
  void EndLine(std::string_view line, std::string& out);

  TConverter& FConverter;
  std::string FPending;
  bool FOverlong = false;
  bool FFailed = false;
};

}  // namespace korvalen::cli
