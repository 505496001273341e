#pragma once

// The command-line converter: reads its arguments, converts, and returns the
// exit status (0 success, 1 a failed conversion or output, 2 a usage error).
// Writes to standard output and standard error, and reads standard input in
// stream mode.

namespace korvalen::cli {

int RunCommandLine(int argc, char** argv);

}  // namespace korvalen::cli
