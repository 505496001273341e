#include "cli/CommandLine.h"

#include "cli/Conversion.h"
#include "cli/UnitIndex.h"
#include "cli/UnitNames.h"
#include "engine/StdConvs.h"
#include "format/FormatResult.h"
#include "platform/runtime/FloatSteps.h"

#include <getopt.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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
constexpr std::size_t OutputChunk = std::size_t{64} * 1024;

constexpr std::string_view HelpText =
    "Usage: korvalen-convert [OPTION]... AMOUNT FROM [to] TO\n"
    "  or:  korvalen-convert [OPTION]...\n"
    "  or:  korvalen-convert --list [FAMILY|PART]\n"
    "Convert AMOUNT from unit FROM to unit TO and print the result alone.\n"
    "Without AMOUNT FROM TO, convert each line \"AMOUNT FROM TO\" of standard input\n"
    "and print one line for each: the result, or \"error: \" and the reason; a blank\n"
    "line or one starting with \"#\" gives an empty line.\n"
    "\n"
    "A unit is its catalogue name, without regard to case (Kilograms), its singular\n"
    "or British spelling (Foot, litre), its name in words (\"fluid ounces\"), or a\n"
    "symbol, with case (kg, lb, floz, mL, °C, degF, ft2, m²); --list shows them all.\n"
    "FAMILY:UNIT names the family (Volume:oz); otherwise the family both units share\n"
    "decides (12 oz g is Ounces, 8 oz ml FluidOunces). \"to\" may stand between the\n"
    "units, which then may be several words: 8 fl oz to ml.\n"
    "AMOUNT: a sign, digits, the point or the locale's decimal separator, an\n"
    "exponent, the locale's digit grouping (1,000 in en_US); a fraction (1/2); glued\n"
    "to FROM (3kg lb); a date for DateTime (2024-01-01, 2024-01-01T12:00).\n"
    "An argument that starts with \"-\" and a digit or \".\" is an amount.\n"
    "\n"
    "  -d, --digits=N        print N significant digits (1 to 17) in general form\n"
    "  -p, --pattern=P       print by the format pattern P (\"0.000\", \"#,##0.00\")\n"
    "  -l, --list [FAMILY|PART]  list the families and their units, with the other\n"
    "                        names of each after a tab; FAMILY's units, or the units\n"
    "                        whose names hold PART\n"
    "  -h, --help            display this help and exit\n"
    "  -V, --version         output version information and exit\n"
    "      --                end of options\n"
    "Long options may be abbreviated (--dig 3).\n"
    "\n"
    "By default results have two decimals and the locale's decimal separator.\n"
    "\n"
    "Exit status: 0 on success, 1 if a conversion or the output failed,\n"
    "2 for a usage error.\n"
    "\n"
    "Examples:\n"
    "  korvalen-convert 1 kg lb                   2.20\n"
    "  korvalen-convert -40 °C °F                 -40.00\n"
    "  korvalen-convert 8 fl oz to ml             236.59\n"
    "  korvalen-convert -d 15 1 Nanograms Kilograms    1E-12\n"
    "  printf '3 gal L\\n' | korvalen-convert\n";

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

// Whether option argument, as getopt_long reads it, takes the next argument
// as its value: "-d", "-ld", "--digits", "--pat".
bool TakesValue(std::string_view argument) {
  if (argument.starts_with("--")) {
    const std::string_view name = argument.substr(2);
    return !name.empty() && name.find('=') == std::string_view::npos &&
           (std::string_view("digits").starts_with(name) ||
            std::string_view("pattern").starts_with(name));
  }
  for (std::size_t i = 1; i < argument.size(); ++i) {
    if (argument[i] == 'd' || argument[i] == 'p') {
      return i + 1 == argument.size();
    }
    if (std::string_view("hVl").find(argument[i]) == std::string_view::npos) {
      return false;
    }
  }
  return false;
}

// Reads the arguments; returns a usage message, or nothing when they read.
std::optional<std::string> ReadArguments(int argc, char** argv, TOptions& options) {
  // getopt_long reads "-40" and "-.5" as options, so amounts are taken out
  // first and put back among the operands in their places.
  std::vector<char*> arguments{argv[0]};
  std::vector<int> amounts;
  bool value = false;
  bool ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!ended && !value && IsNegativeAmount(argument)) {
      amounts.push_back(i);
      continue;
    }
    arguments.push_back(argv[i]);
    if (value) {
      value = false;
    } else if (!ended && argument == "--") {
      ended = true;
    } else if (!ended && argument.size() > 1 && argument[0] == '-') {
      value = TakesValue(argument);
    }
  }
  const int count = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);

  static constexpr option LongOptions[] = {
      {"digits", required_argument, nullptr, 'd'}, {"pattern", required_argument, nullptr, 'p'},
      {"list", no_argument, nullptr, 'l'},         {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},      {nullptr, 0, nullptr, 0}};
  // 0 starts getopt_long afresh; its own messages are replaced by ours.
  optind = 0;
  opterr = 0;
  while (true) {
    const int option = getopt_long(count, arguments.data(), ":d:p:lhV", LongOptions, nullptr);
    if (option == -1) {
      break;
    }
    const std::string_view given = arguments[static_cast<std::size_t>(optind) - 1];
    const bool isLong = given.starts_with("--");
    switch (option) {
      case 'd':
        options.Digits = optarg;
        break;
      case 'p':
        options.Pattern = optarg;
        break;
      case 'l':
        options.List = true;
        break;
      case 'h':
        options.Help = true;
        return std::nullopt;
      case 'V':
        options.Version = true;
        return std::nullopt;
      case ':':
        return "option '" +
               (isLong ? std::string(given) : std::string("-") + static_cast<char>(optopt)) +
               "' requires an argument";
      default:
        if (isLong && optopt != 0) {
          return "option '" + std::string(given.substr(0, given.find('='))) +
                 "' allows no argument";
        }
        return "unrecognized option '" +
               (isLong ? std::string(given) : std::string("-") + static_cast<char>(optopt)) + "'";
    }
  }
  // The operands in their order on the command line, amounts included.
  std::vector<int> operands = amounts;
  for (int i = optind; i < count; ++i) {
    for (int j = 1; j < argc; ++j) {
      if (argv[j] == arguments[static_cast<std::size_t>(i)]) {
        operands.push_back(j);
        break;
      }
    }
  }
  std::sort(operands.begin(), operands.end());
  for (const int i : operands) {
    options.Operands.emplace_back(argv[i]);
  }
  return std::nullopt;
}

// The locale's separators, by the environment's precedence as the formatter
// reads them, but whole: multi-byte ones are kept.
TNumberSeparators ReadLocaleSeparators() {
  const char* name = "C";
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  TNumberSeparators separators;
  const locale_t locale = newlocale(LC_NUMERIC_MASK, name, locale_t{});
  if (locale == locale_t{}) {
    return separators;
  }
  const std::string_view decimal = nl_langinfo_l(RADIXCHAR, locale);
  if (!decimal.empty()) {
    separators.Decimal = decimal;
  }
  separators.Thousand = nl_langinfo_l(THOUSEP, locale);
  freelocale(locale);
  return separators;
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

bool ContainsFolded(std::string_view text, std::string_view part) {
  const auto fold = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return fold(a) == fold(b); }) != text.end();
}

// The whole list, a family's units, or the units whose names hold a part of
// a name, each with its other names after a tab.
int List(const TUnitIndex& index, std::optional<std::string_view> word) {
  TConvFamilyId only = IllegalFamilyId;
  if (word && !index.FindFamily(*word, only)) {
    only = IllegalFamilyId;
  }
  const bool headers = only == IllegalFamilyId;
  std::string text;
  TConvTypeArray types;
  bool any = false;
  for (const TConvFamilyId family : index.Families()) {
    if (only != IllegalFamilyId && family != only) {
      continue;
    }
    TypesOfFamily(family, types);
    bool header = false;
    for (const TConvType type : types) {
      const std::string description = DescriptionOfType(type);
      const std::string other = OtherNames(description);
      if (word && only == IllegalFamilyId && !ContainsFolded(description, *word) &&
          !ContainsFolded(other, *word)) {
        continue;
      }
      if (headers && !header) {
        text += DescriptionOfFamily(family);
        text += '\n';
        header = true;
      }
      text += headers ? "  " : "";
      text += description;
      if (!other.empty()) {
        text += '\t';
        text += other;
      }
      text += '\n';
      any = true;
    }
  }
  if (!any) {
    Complain("no family or unit name holds " + Quoted(*word) + " (see korvalen-convert --list)");
    return ExitFailure;
  }
  return WriteOutput(text);
}

// Converts standard input line by line. Output goes out whenever the next
// read could block, so a co-process sees each answer before it asks again,
// and otherwise in large chunks.
int ConvertStream(TConverter& converter) {
  TStreamConverter stream(converter);
  std::string out;
  std::vector<char> buffer(OutputChunk);
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
  if (options.List ? operands > 1 : operands == 1) {
    return Usage(options.List ? "--list takes one FAMILY or PART at most"
                              : "expected AMOUNT FROM TO, got 1 argument");
  }
  if (argc == 1 && ::isatty(STDIN_FILENO) == 1) {
    Complain("converting lines of AMOUNT FROM TO (1 kg lb) until end of input; see --help");
  }

  fpu::InitEnvironment();
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
  TConverter converter(index, form, ReadLocaleSeparators());
  if (operands == 0) {
    return ConvertStream(converter);
  }
  std::string result;
  try {
    result = converter.Convert(options.Operands);
  } catch (const ERequestShape& error) {
    return Usage(error.Message());
  } catch (const Exception& error) {
    Complain(converter.Localized(error.Message()));
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
