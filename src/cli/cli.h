#pragma once

namespace qm {
namespace cli {

// Exit codes of quillmark-cli.
enum ExitCode { ExitOk = 0, ExitConversionFailed = 1, ExitUsage = 2 };

// The whole program: parses argv, creates the application object, converts and
// writes the result. Returns the process exit code.
int runCli(int argc, char *argv[]);

} // namespace cli
} // namespace qm
