// korvalen-convert: the whole catalogue of units on the command line.

#include "cli/CommandLine.h"

int main(int argc, char** argv) {
  return korvalen::cli::RunCommandLine(argc, argv);
}
