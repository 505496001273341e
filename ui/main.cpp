// Korvalen Converter. The start-up and shutdown order lives in TProgram
// (ui/Program.h), where the tests run it too.

#include "ui/Program.h"

int main(int argc, char** argv) {
  return korvalen::RunProgram(argc, argv);
}
