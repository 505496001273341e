#pragma once

// The program's start-up and shutdown, in the order each module depends on
// the ones before it. Every step with a shutdown is an object whose destructor
// performs it, so the program ends in the reverse order:
//
//   start: arithmetic and number separators; the application object with its
//          title window and the program icon, the separators read again as
//          the locale changes; the conversion registry; the standard units;
//          the welcome window as the main window; the loop.
//   end:   the windows (the welcome window first, so its components release
//          what they hold); the standard units removed; the registry cleared;
//          the application object.
//
//   int main(int argc, char** argv) { return korvalen::RunProgram(argc, argv); }

#include "platform/qt/Application.h"

#include <QString>

namespace korvalen {

class TProgram {
 public:
  // Sets the arithmetic, reads the number separators and creates the
  // application object, which gives every window the program icon.
  TProgram(int& argc, char** argv);
  ~TProgram();

  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  TApplication& Application() noexcept { return FApplication; }

  // Registers the standard units, creates the welcome window from layout as
  // the main window and runs the message loop; returns its exit code once
  // the windows are gone, the units removed and the registry cleared. An
  // error on the way goes to the program's error reporter, and the program
  // ends with exit code 1 instead of running half-built. A test may name
  // another layout of the welcome window.
  int Run(const QString& layout = QString()) noexcept;

 private:
  struct TRuntimeStart {
    TRuntimeStart();
  };

  TRuntimeStart FRuntime;
  TApplication FApplication;
};

// The whole program: TProgram(argc, argv).Run().
int RunProgram(int& argc, char** argv);

}  // namespace korvalen
