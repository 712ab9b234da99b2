#pragma once

#include <cstdio>

#include "cli_options.h"

namespace kelvara::cli {

// The exit code of a command that did its work but could not write its results (standard error).
inline constexpr int kUnreportedExitCode = 3;

// Carries out a parsed command line: data on out, progress, results and errors on err. Returns
// the exit code (0 done, 1 the machine or the port failed, 2 a file was refused or could not be
// saved, or standard output could not be written, 3 done but standard error could not be
// written). Transfers need a QCoreApplication.
int Execute(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace kelvara::cli
