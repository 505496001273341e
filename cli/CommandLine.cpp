#include "cli/CommandLine.h"

#include "cli/Conversion.h"
#include "cli/UnitIndex.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/runtime/FloatSteps.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifndef KORVALEN_VERSION
#error "KORVALEN_VERSION must name the project's version"
#endif

namespace korvalen::cli {

namespace {

constexpr std::string_view Program = "korvalen-convert";
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
// Output waits in memory up to this size, or until input would block.
constexpr std::size_t OutputChunk = 64 * 1024;

constexpr std::string_view HelpText =
    "Usage: korvalen-convert [OPTION]... AMOUNT FROM TO\n"
    "  or:  korvalen-convert [OPTION]...\n"
    "  or:  korvalen-convert --list [FAMILY]\n"
    "Convert AMOUNT from unit FROM to unit TO and print the result alone.\n"
    "Without AMOUNT FROM TO, convert each line \"AMOUNT FROM TO\" of standard input\n"
    "and print one line for each: the result, or \"error: \" and the reason.\n"
    "\n"
    "Units are matched without regard to case; FAMILY:UNIT names the family too\n"
    "(Mass:Grams). An argument that starts with \"-\" and a digit or \".\" is an amount.\n"
    "Amounts take the point or the locale's decimal separator, and an exponent.\n"
    "\n"
    "      --digits=N     print N significant digits (1 to 17) in general form\n"
    "      --pattern=P    print by the format pattern P (\"0.000\", \"0.00E+00\")\n"
    "      --list [FAMILY]  list every family and its units, or FAMILY's units\n"
    "      --help         display this help and exit\n"
    "      --version      output version information and exit\n"
    "      --             end of options\n"
    "\n"
    "By default results have two decimals and the locale's decimal separator.\n"
    "\n"
    "Exit status: 0 on success, 1 if a conversion or the output failed,\n"
    "2 for a usage error.\n"
    "\n"
    "Examples:\n"
    "  korvalen-convert 1 Kilograms Pounds        2.20\n"
    "  korvalen-convert -40 Celsius Fahrenheit    -40.00\n"
    "  korvalen-convert --digits 15 1 Nanograms Kilograms    1E-12\n"
    "  printf '3 FluidGallons Liters\\n' | korvalen-convert\n";

constexpr std::string_view VersionText =
    "korvalen-convert (Korvalen Converter) " KORVALEN_VERSION
    "\n"
    "Copyright (C) 2026 Korvalen Business Solutions. All rights reserved.\n";

// Writes all of text to fd; false on an error (errno says which).
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void Complain(std::string_view message) {
  std::string line(Program);
  line += ": ";
  line += message;
  line += '\n';
  // Nothing is left to tell if standard error fails too.
  static_cast<void>(WriteAll(STDERR_FILENO, line));
}

int Usage(std::string_view message) {
  Complain(std::string(message) + " (see korvalen-convert --help)");
  return ExitUsage;
}

int WriteOutput(std::string_view text) {
  if (!WriteAll(STDOUT_FILENO, text)) {
    Complain(std::string("write error: ") + std::strerror(errno));
    return ExitFailure;
  }
  return ExitSuccess;
}

// An argument in the place of an option that is an amount: "-40", "-.5".
bool IsNegativeAmount(std::string_view argument) {
  return argument.size() > 1 && argument[0] == '-' &&
         ((argument[1] >= '0' && argument[1] <= '9') || argument[1] == '.');
}

struct TOptions {
  bool List = false;
  bool Help = false;
  bool Version = false;
  std::optional<std::string> Digits;
  std::optional<std::string> Pattern;
  std::vector<std::string_view> Operands;
};

// Reads the arguments; returns a usage message, or nothing when they read.
std::optional<std::string> ReadArguments(int argc, char** argv, TOptions& options) {
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (endOfOptions || argument.size() < 2 || argument[0] != '-' || IsNegativeAmount(argument)) {
      options.Operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      endOfOptions = true;
      continue;
    }
    if (argument == "--help") {
      options.Help = true;
      return std::nullopt;
    }
    if (argument == "--version") {
      options.Version = true;
      return std::nullopt;
    }
    if (argument == "--list") {
      options.List = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    if (name != "--digits" && name != "--pattern") {
      return "unrecognized option '" + std::string(argument) + "'";
    }
    std::string value;
    if (equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return "option '" + std::string(name) + "' requires an argument";
    }
    (name == "--digits" ? options.Digits : options.Pattern) = std::move(value);
  }
  return std::nullopt;
}

std::optional<int> ReadDigits(const std::string& text) {
  if (text.empty() || text.size() > 2 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const int digits = std::stoi(text);
  if (digits < 1 || digits > 17) {
    return std::nullopt;
  }
  return digits;
}

int List(const TUnitIndex& index, std::optional<std::string_view> familyWord) {
  std::vector<TConvFamilyId> families = index.Families();
  if (familyWord) {
    TConvFamilyId family = IllegalFamilyId;
    if (!index.FindFamily(*familyWord, family)) {
      Complain("unknown family " + Quoted(*familyWord) + " (see korvalen-convert --list)");
      return ExitFailure;
    }
    families = {family};
  }
  std::string text;
  TConvTypeArray types;
  const std::string_view indent = familyWord ? "" : "  ";
  for (const TConvFamilyId family : families) {
    if (!familyWord) {
      text += DescriptionOfFamily(family);
      text += '\n';
    }
    TypesOfFamily(family, types);
    for (const TConvType type : types) {
      text += indent;
      text += DescriptionOfType(type);
      text += '\n';
    }
  }
  return WriteOutput(text);
}

// Converts standard input line by line. Output goes out whenever the next
// read could block, so a co-process sees each answer before it asks again,
// and otherwise in large chunks.
int ConvertStream(TConverter& converter) {
  TStreamConverter stream(converter);
  std::string out;
  std::vector<char> buffer(64 * 1024);
  while (true) {
    if (!out.empty()) {
      pollfd input{STDIN_FILENO, POLLIN, 0};
      if (out.size() >= OutputChunk || ::poll(&input, 1, 0) <= 0) {
        if (WriteOutput(out) != ExitSuccess) {
          return ExitFailure;
        }
        out.clear();
      }
    }
    const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      const std::string reason = std::strerror(errno);
      // What was converted still goes out, ahead of the complaint.
      static_cast<void>(WriteOutput(out));
      Complain("read error: " + reason);
      return ExitFailure;
    }
    if (got == 0) {
      break;
    }
    stream.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)), out);
  }
  stream.Finish(out);
  if (WriteOutput(out) != ExitSuccess) {
    return ExitFailure;
  }
  return stream.Failed() ? ExitFailure : ExitSuccess;
}

int Run(int argc, char** argv) {
  TOptions options;
  if (const auto problem = ReadArguments(argc, argv, options)) {
    return Usage(*problem);
  }
  if (options.Help) {
    return WriteOutput(HelpText);
  }
  if (options.Version) {
    return WriteOutput(VersionText);
  }
  TResultForm form;
  if (options.Digits && options.Pattern) {
    return Usage("--digits and --pattern cannot be used together");
  }
  if (options.Digits) {
    const auto digits = ReadDigits(*options.Digits);
    if (!digits) {
      return Usage("--digits takes a number from 1 to 17, not " + Quoted(*options.Digits));
    }
    form.Kind = TResultForm::TKind::General;
    form.Digits = *digits;
  }
  if (options.Pattern) {
    form.Kind = TResultForm::TKind::Pattern;
    form.Pattern = *options.Pattern;
  }
  const std::size_t operands = options.Operands.size();
  if (options.List ? operands > 1 : (operands != 0 && operands != 3)) {
    return Usage(options.List ? "--list takes one FAMILY at most"
                              : "expected AMOUNT FROM TO, got " + std::to_string(operands) +
                                    (operands == 1 ? " argument" : " arguments"));
  }

  fpu::InitEnvironment();
  ReadNumberSeparators();
  TConvRegistryScope registry;
  TStandardUnitsScope units;
  const TUnitIndex index;
  if (options.List) {
    return List(index, operands == 1 ? std::optional(options.Operands[0]) : std::nullopt);
  }
  if (form.Kind == TResultForm::TKind::Pattern) {
    // A pattern the formatter refuses fails every conversion alike: say so
    // once, before reading anything.
    try {
      static_cast<void>(FormatValue(0.0, form));
    } catch (const Exception& error) {
      Complain(error.Message());
      return ExitFailure;
    }
  }
  TConverter converter(index, form, DecimalSeparator());
  if (operands == 0) {
    return ConvertStream(converter);
  }
  std::string result;
  try {
    result = converter.Convert(options.Operands[0], options.Operands[1], options.Operands[2]);
  } catch (const Exception& error) {
    Complain(error.Message());
    return ExitFailure;
  }
  result += '\n';
  return WriteOutput(result);
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    Complain("out of memory");
    return ExitFailure;
  }
}

}  // namespace korvalen::cli
