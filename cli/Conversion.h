#pragma once

// One conversion of the command line, from the words AMOUNT FROM TO to the
// text of the result, and the stream of such lines.

#include "cli/UnitIndex.h"
#include "platform/runtime/Exceptions.h"

#include <string>
#include <string_view>
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

// Reads an amount: an optional sign, digits with at most one decimal
// separator (the point, or the given locale separator), an optional exponent.
// No grouping, hexadecimal, infinity or NaN. A magnitude too small for a
// double reads as zero; one too large throws EInputError, as does any other
// text.
double ParseAmount(std::string_view text, char localeSeparator);

// Shows a word of anyone's input inside a message: quoted, with control
// bytes escaped so they cannot act on a terminal.
std::string Quoted(std::string_view word);

class TConverter {
 public:
  TConverter(const TUnitIndex& index, TResultForm form, char decimalSeparator);

  // The result text of AMOUNT FROM TO. A unit is a description, or
  // FAMILY:DESCRIPTION; an unqualified description is taken from the first
  // family in which the other unit also has a match. Throws EInputError, or
  // the engine's error (units of different families, a date out of range,
  // an overflow).
  std::string Convert(std::string_view amount, std::string_view from, std::string_view to);

  // Converts one line of whitespace-separated AMOUNT FROM TO and appends the
  // result, or "error: " and the reason, and a newline. Returns whether the
  // line converted.
  bool ConvertLine(std::string_view line, std::string& out);

 private:
  struct TUnitWord {
    TConvFamilyId Family = IllegalFamilyId;  // given by a qualifier
    std::vector<TUnitRef> Matches;
  };
  void Resolve(std::string_view word, TUnitWord& unit) const;

  const TUnitIndex& FIndex;
  TResultForm FForm;
  char FDecimalSeparator;
  TUnitWord FFrom;  // kept to reuse their storage from line to line
  TUnitWord FTo;
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
