// Korvalen Converter. The start-up and shutdown order lives in TProgram
// (ui/Program.h), where the tests run it too. What needs no window is
// answered here, before Qt starts: --help, --version, and a missing display.

#include "ui/Program.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#ifndef KORVALEN_VERSION
#error "KORVALEN_VERSION must name the project's version"
#endif

namespace {

constexpr std::string_view HelpText =
    "Usage: korvalen-converter [OPTION]... [QT OPTION]...\n"
    "Show how many of one unit of volume or mass make one of another, between\n"
    "the U.S. customary and metric systems, in a window.\n"
    "\n"
    "      --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "Other arguments are left to Qt, which reads its own (-platform NAME,\n"
    "-style STYLE, -session ID) and ignores the rest. A second start brings the\n"
    "running window forward. Exit status is 1 when no display can be opened.\n"
    "\n"
    "All six families of units are on the command line: see korvalen-convert(1).\n";

constexpr std::string_view VersionText =
    "korvalen-converter (Korvalen Converter) " KORVALEN_VERSION
    "\n"
    "Copyright (C) 2026 Korvalen Business Solutions. All rights reserved.\n";

int Print(std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return written && std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Whether the environment or Qt's own -platform option names somewhere to
// show a window.
bool DisplayNamed(int argc, char** argv) {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) {
    return true;
  }
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-platform" || argument == "--platform") {
      return true;
    }
  }
  return false;
}

[[noreturn]] void NoDisplay(std::string_view reason) {
  std::fprintf(stderr, "korvalen-converter: cannot open a display: %.*s\n",
               static_cast<int>(reason.size()), reason.data());
  std::fflush(stderr);
  // The application object is half-built: nothing may run its destructors.
  std::_Exit(EXIT_FAILURE);
}

// Qt ends a failed platform start with a fatal message, that is an abort,
// after several lines on why. Until the platform is up, Qt's messages are
// held back, and a fatal one becomes a single line and exit status 1; once it
// is up, what was held goes out as usual.
struct THeldMessage {
  QtMsgType Type;
  QByteArray File;
  int Line;
  QByteArray Function;
  QByteArray Category;
  QString Text;
};

QtMessageHandler GQtHandler = nullptr;
bool GPlatformUp = false;
std::vector<THeldMessage>* GHeld = nullptr;

void HoldPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (!GPlatformUp) {
    if (type == QtFatalMsg) {
      const QString reason =
          GHeld != nullptr && !GHeld->empty() ? GHeld->front().Text : text.section('\n', 0, 0);
      NoDisplay(reason.toLocal8Bit().toStdString());
    }
    if (GHeld != nullptr) {
      GHeld->push_back(
          {type, context.file, context.line, context.function, context.category, text});
      return;
    }
  }
  GQtHandler(type, context, text);
}

// Runs inside the application object's constructor, once the platform
// integration exists.
void PlatformUp() {
  GPlatformUp = true;
  if (GHeld == nullptr) {
    return;
  }
  for (const THeldMessage& held : *GHeld) {
    const QMessageLogContext context(held.File.constData(), held.Line, held.Function.constData(),
                                     held.Category.constData());
    GQtHandler(held.Type, context, held.Text);
  }
  GHeld->clear();
}
Q_COREAPP_STARTUP_FUNCTION(PlatformUp)

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") {
      return Print(HelpText);
    }
    if (argument == "--version") {
      return Print(VersionText);
    }
  }
  if (!DisplayNamed(argc, argv)) {
    NoDisplay("none of DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM is set");
  }
  std::vector<THeldMessage> held;
  GHeld = &held;
  GQtHandler = qInstallMessageHandler(HoldPlatformMessages);
  const int status = korvalen::RunProgram(argc, argv);
  GHeld = nullptr;
  return status;
}
