// The command-line converter and the desktop program run as processes: what
// they print, on which stream, and with which exit status.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

extern char** environ;

namespace {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// An environment without anything that chooses a locale or a display, plus extra.
std::vector<std::string> CleanEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name.starts_with("LC_") || name == "LANG" || name == "LANGUAGE" || name == "DISPLAY" ||
        name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM") {
      continue;
    }
    result.push_back(text);
  }
  result.insert(result.end(), extra.begin(), extra.end());
  return result;
}

class TChild {
 public:
  TChild(const std::string& program, const std::vector<std::string>& args,
         const std::vector<std::string>& environment) {
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = environment;
    std::vector<char*> envp;
    for (std::string& e : envStrings) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const int spawned =
        posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    FIn = in[1];
    FOut = out[0];
    FErr = err[0];
    if (spawned != 0) {
      throw std::runtime_error("cannot start " + program);
    }
  }
  ~TChild() {
    CloseInput();
    close(FOut);
    close(FErr);
    if (FPid > 0) {
      int status = 0;
      waitpid(FPid, &status, 0);
    }
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  void Write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(FIn, text.data() + done, text.size() - done);
      ASSERT_GT(n, 0) << std::strerror(errno);
      done += static_cast<std::size_t>(n);
    }
  }
  void CloseInput() {
    if (FIn >= 0) {
      close(FIn);
      FIn = -1;
    }
  }
  // One line of standard output, waiting at most timeoutMs; empty on timeout.
  std::string ReadLine(int timeoutMs) {
    std::string line;
    char c = 0;
    while (line.empty() || line.back() != '\n') {
      pollfd ready{FOut, POLLIN, 0};
      if (poll(&ready, 1, timeoutMs) <= 0 || read(FOut, &c, 1) != 1) {
        return {};
      }
      line += c;
    }
    return line;
  }
  TRun Finish() {
    CloseInput();
    TRun run;
    std::array<pollfd, 2> fds{{{FOut, POLLIN, 0}, {FErr, POLLIN, 0}}};
    int open = 2;
    char buffer[4096];
    while (open > 0 && poll(fds.data(), fds.size(), 10000) > 0) {
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd >= 0 && fds[i].revents != 0) {
          const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
          if (n <= 0) {
            fds[i].fd = -1;
            --open;
          } else {
            (i == 0 ? run.Out : run.Err).append(buffer, static_cast<std::size_t>(n));
          }
        }
      }
    }
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = -1;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
  }

 private:
  pid_t FPid = -1;
  int FIn = -1;
  int FOut = -1;
  int FErr = -1;
};

TRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& environment, const std::string& input = {}) {
  TChild child(program, args, environment);
  child.Write(input);
  return child.Finish();
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

enum class TLocales { Both, OnlyC, OnlyGerman };

struct TRow {
  TLocales Locales;
  std::vector<std::string> Args;
  std::string Input;
  // Standard output under C; under de_DE each "." of a result line is ",".
  std::string Out;
  int Status;
  // A piece of the one line on standard error; empty for none.
  std::string Err;
};

std::string UnderGerman(const std::string& out) {
  std::string result;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    std::string line = out.substr(start, end - start + 1);
    if (!line.starts_with("error: ")) {
      std::replace(line.begin(), line.end(), '.', ',');
    }
    result += line;
    start = end + 1;
  }
  return result;
}

TEST(CommandLineProgram, TableOfGoodAndBadInputsUnderCAndGerman) {
  const std::string longPattern(225, '0');
  const std::vector<TRow> rows = {
      {TLocales::Both, {"1", "Kilograms", "Pounds"}, "", "2.20\n", 0, ""},
      {TLocales::Both, {"-40", "Celsius", "Fahrenheit"}, "", "-40.00\n", 0, ""},
      {TLocales::Both, {"-.5", "celsius", "KELVIN"}, "", "272.65\n", 0, ""},
      {TLocales::Both, {"1", "Mass:Grams", "mass:kilograms"}, "", "0.00\n", 0, ""},
      {TLocales::Both, {"--digits", "15", "1", "Nanograms", "Kilograms"}, "", "1E-12\n", 0, ""},
      {TLocales::Both,
       {"--digits=17", "1", "Kilograms", "Pounds"},
       "",
       "2.2046226218487757\n",
       0,
       ""},
      {TLocales::Both,
       {"--pattern", "0.000E+00", "1", "Parsecs", "Meters"},
       "",
       "3.086E+16\n",
       0,
       ""},
      {TLocales::Both, {"--", "-1", "Days", "Hours"}, "", "-24.00\n", 0, ""},
      {TLocales::Both, {"1e3", "Liters", "CubicMeters"}, "", "1.00\n", 0, ""},
      {TLocales::Both, {"2.5", "Kilograms", "Pounds"}, "", "5.51\n", 0, ""},
      {TLocales::OnlyGerman, {"2,5", "Kilograms", "Pounds"}, "", "5.51\n", 0, ""},
      {TLocales::OnlyC, {"2,5", "Kilograms", "Pounds"}, "", "", 1, "invalid amount '2,5'"},
      {TLocales::Both, {"1,000.5", "Grams", "Grams"}, "", "", 1, "invalid amount"},
      {TLocales::Both, {"0x10", "Grams", "Grams"}, "", "", 1, "invalid amount"},
      {TLocales::Both, {"inf", "Grams", "Grams"}, "", "", 1, "invalid amount"},
      {TLocales::Both,
       {"1", "Furlongs", "Liters"},
       "",
       "",
       1,
       "Incompatible conversion types [Furlongs, Liters]"},
      {TLocales::Both,
       {"1", "Parsek", "Meterz"},
       "",
       "",
       1,
       "unknown unit 'Parsek'; did you mean Parsecs? unknown unit 'Meterz'; did you mean Meters?"},
      {TLocales::Both, {"1", "oz", "oz"}, "", "", 1, "Mass:Ounces"},
      {TLocales::Both, {"1", "R", "K"}, "", "", 1, "Temperature:Rankine or Temperature:Reaumur"},
      {TLocales::Both, {"1", "oz", "km"}, "", "", 1, "Incompatible conversion types"},
      {TLocales::Both, {"-300", "Celsius", "Kelvin"}, "", "", 1, "below absolute zero"},
      {TLocales::Both, {"-459.67", "°F", "K"}, "", "0.00\n", 0, ""},
      {TLocales::Both, {"2024-01-01T12:00", "DateTime", "JD"}, "", "2460311.00\n", 0, ""},
      {TLocales::Both,
       {"2024-01-01", "Days", "Hours"},
       "",
       "",
       1,
       "a date is an amount of DateTime"},
      {TLocales::OnlyGerman, {"1.000", "kg", "g"}, "", "", 1, "reads two ways"},
      {TLocales::OnlyC, {"1,000", "kg", "g"}, "", "", 1, "invalid amount '1,000'"},
      {TLocales::Both, {"-d", "3", "--pat=0.0", "1", "kg", "lb"}, "", "", 2, "cannot be used"},
      {TLocales::Both, {"-d3", "-1", "kg", "lb"}, "", "-2.2\n", 0, ""},
      {TLocales::Both, {"--dig", "3", "-.5", "kg", "lb"}, "", "-1.1\n", 0, ""},
      {TLocales::Both, {"--help=1"}, "", "", 2, "option '--help' allows no argument"},
      {TLocales::Both, {"1", "Volume:Grams", "Grams"}, "", "", 1, "unknown unit 'Grams' in Volume"},
      {TLocales::Both, {"1", "Weight:Grams", "Grams"}, "", "", 1, "unknown family 'Weight'"},
      {TLocales::Both,
       {"5373484.5", "JulianDate", "DateTime"},
       "",
       "",
       1,
       "Julian cannot be represented as a DateTime"},
      {TLocales::Both, {"1e308", "Parsecs", "Micromicrons"}, "", "", 1, "Floating point overflow"},
      {TLocales::Both, {"1e999", "Grams", "Grams"}, "", "", 1, "out of range"},
      {TLocales::Both,
       {"--pattern", longPattern, "1", "Grams", "Grams"},
       "",
       "",
       1,
       "Format string too long"},
      {TLocales::Both, {"1", "Grams"}, "", "", 2, "expected AMOUNT FROM TO"},
      {TLocales::Both, {"1", "Grams", "Grams", "Grams"}, "", "", 2, "expected AMOUNT FROM TO"},
      {TLocales::Both, {"--frobnicate"}, "", "", 2, "unrecognized option '--frobnicate'"},
      {TLocales::Both, {"-x", "1", "Grams", "Grams"}, "", "", 2, "unrecognized option '-x'"},
      {TLocales::Both, {"--digits", "0", "1", "Grams", "Grams"}, "", "", 2, "--digits"},
      {TLocales::Both, {"--digits", "18", "1", "Grams", "Grams"}, "", "", 2, "--digits"},
      {TLocales::Both,
       {"--digits", "2", "--pattern", "0", "1", "Grams", "Grams"},
       "",
       "",
       2,
       "cannot be used together"},
      {TLocales::Both, {"--digits"}, "", "", 2, "requires an argument"},
      {TLocales::Both, {"--list", "Weight"}, "", "", 1, "no family or unit name holds 'Weight'"},
      {TLocales::Both, {"--list", "Mass", "Volume"}, "", "", 2, "--list"},
      // Stream mode: one output line per input line, and status 1 if any failed.
      {TLocales::Both, {}, "1 Kilograms Pounds\n100 Celsius Fahrenheit\n", "2.20\n212.00\n", 0, ""},
      {TLocales::Both, {"--digits", "3"}, "1 Kilograms Pounds\n", "2.2\n", 0, ""},
      {TLocales::Both,
       {},
       "1 Kilograms Pounds\n1 Grams Liters\n\n2 Kilograms  Pounds",
       "2.20\nerror: Incompatible conversion types [Grams, Liters]\n\n4.41\n",
       1,
       ""},
      {TLocales::Both,
       {},
       "1 Grams \x1b[2J\n",
       "error: unknown unit '\\x1B[2J' (see korvalen-convert --list)\n",
       1,
       ""},
      {TLocales::Both,
       {},
       "# cooking\n\n8 fl oz to ml\n\t\n1/2 cups to ml\n",
       "\n\n236.59\n\n118.29\n",
       0,
       ""},
      {TLocales::OnlyGerman,
       {},
       "2,5 Kilograms Pounds\n2.5 Kilograms Pounds\n",
       "5.51\n5.51\n",
       0,
       ""},
  };
  const std::pair<TLocales, const char*> locales[] = {{TLocales::OnlyC, "LC_ALL=C"},
                                                      {TLocales::OnlyGerman, "LC_ALL=de_DE.UTF-8"}};
  for (const auto& [locale, setting] : locales) {
    for (const TRow& row : rows) {
      if (row.Locales != TLocales::Both && row.Locales != locale) {
        continue;
      }
      std::string trace = setting;
      for (const std::string& arg : row.Args) {
        trace += " '" + arg.substr(0, 40) + "'";
      }
      SCOPED_TRACE(trace);
      const TRun run =
          RunProgram(CONVERT_PROGRAM, row.Args, CleanEnvironment({setting}), row.Input);
      EXPECT_EQ(run.Status, row.Status);
      EXPECT_EQ(run.Out, locale == TLocales::OnlyGerman ? UnderGerman(row.Out) : row.Out);
      if (row.Err.empty()) {
        EXPECT_EQ(run.Err, "");
      } else {
        EXPECT_EQ(Lines(run.Err), 1u) << run.Err;
        EXPECT_TRUE(run.Err.starts_with("korvalen-convert: ")) << run.Err;
        EXPECT_NE(run.Err.find(row.Err), std::string::npos) << run.Err;
      }
    }
  }
}

// The first tries of a new user, with the figures GNU units gives (and the
// absolute temperatures it does not).
TEST(CommandLineProgram, EverydayTasksAsPeopleTypeThem) {
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"1", "kg", "lb"}, "2.20"},
      {{"180", "lbs", "kg"}, "81.65"},
      {{"2", "cups", "ml"}, "473.18"},
      {{"8", "floz", "ml"}, "236.59"},
      {{"180", "°C", "°F"}, "356.00"},
      {{"98.6", "degF", "degC"}, "37.00"},
      {{"6", "ft", "cm"}, "182.88"},
      {{"6", "Foot", "Centimeter"}, "182.88"},
      {{"5", "km", "mi"}, "3.11"},
      {{"1.5", "litres", "millilitres"}, "1500.00"},
      {{"1", "acre", "hectares"}, "0.40"},
      {{"90", "min", "h"}, "1.50"},
      {{"12", "oz", "g"}, "340.19"},
      {{"3kg", "lb"}, "6.61"},
      {{"180°C", "F"}, "356.00"},
      {{"8", "oz", "ml"}, "236.59"},
      {{"1", "pt", "ml"}, "473.18"},
      {{"12", "pt", "in"}, "0.17"},
      {{"8", "fl", "oz", "to", "ml"}, "236.59"},
      {{"1", "fluid ounces", "tbsp"}, "2.00"},
      {{"100", "square feet", "m²"}, "9.29"},
      {{"1", "metric tons", "lb"}, "2204.62"},
      {{" 1/2 ", "gal", "L"}, "1.89"},
  };
  for (const auto& [args, out] : rows) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const TRun run = RunProgram(CONVERT_PROGRAM, args, CleanEnvironment({"LC_ALL=C"}));
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, out + "\n");
  }
}

// Grouping and decimals in the locale's own separators, multi-byte ones too.
TEST(CommandLineProgram, WritesTheLocalesOwnSeparators) {
  const std::vector<std::string> grouped = {"--pattern", "#,##0.00", "1234567", "Meters", "Feet"};
  const std::tuple<std::string, std::vector<std::string>, std::string> rows[] = {
      {"LC_ALL=fr_FR.UTF-8", grouped, "4\u202F050\u202F416,67\n"},
      {"LC_ALL=ps_AF.UTF-8", grouped, "4\u066C050\u066C416\u066B67\n"},
      {"LC_ALL=ps_AF.UTF-8", {"2\u066B5", "kg", "lb"}, "5\u066B51\n"},
      {"LC_ALL=fr_FR.UTF-8", {"1\u202F000,5", "g", "kg"}, "1,00\n"},
      {"LC_ALL=de_DE.UTF-8", grouped, "4.050.416,67\n"},
      {"LC_ALL=en_US.UTF-8", {"12,345,678", "g", "kg"}, "12345.68\n"},
      {"LC_ALL=C", grouped, "4050416.67\n"},
  };
  for (const auto& [locale, args, out] : rows) {
    SCOPED_TRACE(locale + " " + args[0]);
    const TRun run = RunProgram(CONVERT_PROGRAM, args, CleanEnvironment({locale}));
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, out);
  }
}

// The list's first column, by family: the units, whatever other names follow
// them after a tab.
std::vector<std::pair<std::string, std::vector<std::string>>> ListedUnits(
    const std::vector<std::string>& args) {
  const TRun run = RunProgram(CONVERT_PROGRAM, args, CleanEnvironment({"LC_ALL=C"}));
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::vector<std::pair<std::string, std::vector<std::string>>> families;
  // A family's list alone has no family lines and no indent.
  const bool headers = run.Out.starts_with("  ") || run.Out.find("\n  ") != std::string::npos;
  std::size_t start = 0;
  while (start < run.Out.size()) {
    const std::size_t end = run.Out.find('\n', start);
    const std::string line = run.Out.substr(start, end - start);
    start = end + 1;
    const bool unit = !headers || line.starts_with("  ");
    if (!unit || families.empty()) {
      families.push_back({unit ? "" : line, {}});
    }
    if (unit) {
      const std::size_t first = headers ? 2 : 0;
      const std::string name = line.substr(first, line.find('\t') - first);
      EXPECT_EQ(name.find(' '), std::string::npos) << line;
      families.back().second.push_back(name);
    }
  }
  return families;
}

TEST(CommandLineProgram, ListsFamiliesUnitsAndPartsOfNames) {
  const auto all = ListedUnits({"--list"});
  std::vector<std::string> families;
  std::size_t units = 0;
  for (const auto& [family, names] : all) {
    families.push_back(family);
    units += names.size();
  }
  EXPECT_EQ(families, (std::vector<std::string>{"Distance", "Area", "Volume", "Mass", "Temperature",
                                                "Time"}));
  EXPECT_EQ(units, 131u);
  // A family word shows that family, though "time" is also part of DateTime.
  EXPECT_EQ(ListedUnits({"--list", "mass"}).front().second, all[3].second);
  EXPECT_EQ(ListedUnits({"-l", "time"}).front().second, all[5].second);
  const auto gallons = ListedUnits({"--list", "gallon"});
  ASSERT_EQ(gallons.size(), 1u);
  EXPECT_EQ(gallons.front().first, "Volume");
  EXPECT_EQ(gallons.front().second,
            (std::vector<std::string>{"FluidGallons", "DryGallons", "UKGallons"}));
}

TEST(CommandLineProgram, AnswersEachLineBeforeTheNextArrives) {
  TChild child(CONVERT_PROGRAM, {}, CleanEnvironment({"LC_ALL=C"}));
  child.Write("1 Kilograms Pounds\n");
  EXPECT_EQ(child.ReadLine(10000), "2.20\n");
  child.Write("1 Grams Furlongs\n");
  EXPECT_NE(child.ReadLine(10000).find("error: "), std::string::npos);
  child.Write("32 Fahrenheit Celsius\n");
  EXPECT_EQ(child.ReadLine(10000), "0.00\n");
  const TRun run = child.Finish();
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "");
}

// The manual page's table of other names is the program's own, unit by unit.
TEST(CommandLineProgram, ManualPageListsEveryUnitsOtherNames) {
  std::ifstream file(MANUAL_SOURCE);
  ASSERT_TRUE(file) << MANUAL_SOURCE;
  const std::string manual((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  const TRun run = RunProgram(CONVERT_PROGRAM, {"--list"}, CleanEnvironment({"LC_ALL=C"}));
  std::size_t listed = 0;
  std::size_t start = 0;
  while (start < run.Out.size()) {
    const std::size_t end = run.Out.find('\n', start);
    const std::string line = run.Out.substr(start, end - start);
    start = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) {
      const std::string entry = "\n*" + line.substr(2, tab - 2) + "*\n" + line.substr(tab) + "\n";
      EXPECT_NE(manual.find(entry), std::string::npos) << line;
      ++listed;
    }
  }
  // And no more: one entry of two lines per unit in the section.
  const std::size_t section = manual.find("# UNIT NAMES");
  const std::string names = manual.substr(section, manual.find("\n# ", section + 1) - section);
  std::size_t entries = 0;
  for (std::size_t at = names.find("*\n\t"); at != std::string::npos;
       at = names.find("*\n\t", at + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, listed);
  EXPECT_GT(listed, 100u);
}

// On a terminal, a start without arguments says in one line how to use it
// (a pipe gets no such line: the stream rows above see nothing on stderr).
TEST(CommandLineProgram, OnATerminalWithoutArgumentsSaysHowToUseIt) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0) << std::strerror(errno);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0) << std::strerror(errno);
  int err[2];
  ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, terminal, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::string program = CONVERT_PROGRAM;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(terminal);
  close(err[1]);
  // End of input, as Ctrl-D gives it on a terminal in canonical mode.
  ASSERT_EQ(write(master, "\x04", 1), 1);
  std::string message;
  char buffer[256];
  pollfd ready{err[0], POLLIN, 0};
  while (poll(&ready, 1, 10000) > 0) {
    const ssize_t n = read(err[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    message.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(err[0]);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Lines(message), 1u) << message;
  EXPECT_TRUE(message.starts_with("korvalen-convert: ")) << message;
}

TEST(CommandLineProgram, AFailedWriteIsAFailure) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) {
    GTEST_SKIP() << "no /dev/full";
  }
  // The shell's own redirection is what a user would do; here the child's
  // output goes to /dev/full through a dup in the child's file actions.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, full, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = CONVERT_PROGRAM;
  std::string a1 = "1", a2 = "Grams", a3 = "Grams";
  char* argv[] = {program.data(), a1.data(), a2.data(), a3.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(full);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(DesktopProgram, HelpVersionAndNoDisplayNeedNoWindow) {
  const std::string program = DESKTOP_PROGRAM;
  if (program.empty()) {
    GTEST_SKIP() << "the desktop program is not part of this build";
  }
  const std::vector<std::string> none = CleanEnvironment({});
  const TRun help = RunProgram(program, {"-style", "fusion", "--help"}, none);
  EXPECT_EQ(help.Status, 0);
  EXPECT_TRUE(help.Out.starts_with("Usage: korvalen-converter")) << help.Out;
  EXPECT_EQ(help.Err, "");
  const TRun version = RunProgram(program, {"--version"}, CleanEnvironment({"DISPLAY=:0"}));
  EXPECT_EQ(version.Status, 0);
  EXPECT_TRUE(version.Out.starts_with("korvalen-converter (Korvalen Converter) ")) << version.Out;

  // No display named, a display nobody serves, a platform Qt does not have.
  const std::vector<std::string> settings[] = {
      {}, {"DISPLAY=:97", "XDG_RUNTIME_DIR=/tmp"}, {"QT_QPA_PLATFORM=nonesuch"}};
  for (const auto& setting : settings) {
    const TRun run = RunProgram(program, {}, CleanEnvironment(setting));
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(Lines(run.Err), 1u) << run.Err;
    EXPECT_TRUE(run.Err.starts_with("korvalen-converter: cannot open a display")) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
}

}  // namespace
