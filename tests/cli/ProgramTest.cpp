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
#include <cstring>
#include <string>
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
      {TLocales::Both, {"-.5", "kelvin", "CELSIUS"}, "", "-273.65\n", 0, ""},
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
      {TLocales::Both, {"1", "Parsec", "Meters"}, "", "", 1, "unknown unit 'Parsec'"},
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
      {TLocales::Both,
       {"--list", "mass"},
       "",
       "Nanograms\nMicrograms\nMilligrams\nCentigrams\nDecigrams\nGrams\nDecagrams\nHectograms\n"
       "Kilograms\nMetricTons\nDrams\nGrains\nTons\nLongTons\nOunces\nPounds\n",
       0,
       ""},
      {TLocales::Both, {"--list", "Weight"}, "", "", 1, "unknown family 'Weight'"},
      {TLocales::Both, {"--list", "Mass", "Volume"}, "", "", 2, "--list"},
      // Stream mode: one output line per input line, and status 1 if any failed.
      {TLocales::Both, {}, "1 Kilograms Pounds\n100 Celsius Fahrenheit\n", "2.20\n212.00\n", 0, ""},
      {TLocales::Both, {"--digits", "3"}, "1 Kilograms Pounds\n", "2.2\n", 0, ""},
      {TLocales::Both,
       {},
       "1 Kilograms Pounds\n1 Grams Liters\n\n2 Kilograms  Pounds",
       "2.20\nerror: Incompatible conversion types [Grams, Liters]\n"
       "error: expected AMOUNT FROM TO, got an empty line\n4.41\n",
       1,
       ""},
      {TLocales::Both,
       {},
       "1 Grams \x1b[2J\n",
       "error: unknown unit '\\x1B[2J' (see korvalen-convert --list)\n",
       1,
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

TEST(CommandLineProgram, ListsEveryFamilyWithItsUnitsIndented) {
  const TRun run = RunProgram(CONVERT_PROGRAM, {"--list"}, CleanEnvironment({"LC_ALL=C"}));
  ASSERT_EQ(run.Status, 0);
  std::vector<std::string> families;
  std::size_t units = 0;
  std::size_t start = 0;
  while (start < run.Out.size()) {
    const std::size_t end = run.Out.find('\n', start);
    const std::string line = run.Out.substr(start, end - start);
    start = end + 1;
    if (line.starts_with("  ")) {
      ++units;
      EXPECT_EQ(line.find(' ', 2), std::string::npos) << line;
    } else {
      families.push_back(line);
    }
  }
  EXPECT_EQ(families, (std::vector<std::string>{"Distance", "Area", "Volume", "Mass", "Temperature",
                                                "Time"}));
  EXPECT_EQ(units, 131u);
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
