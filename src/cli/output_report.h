#pragma once

// What extract and export share on the command line.

#include "archive/output_result.h"

#include <filesystem>
#include <string>

namespace kelvot::cli {

// The destination folder, made (with its parents) when missing. Throws KelvotError.
std::filesystem::path MakeFolder(const std::string& path);

// Prints one "kelvot-cli: <description>" line on stderr per entry left out; the exit status: 0 when
// none was, else 1.
int ReportProblems(const OutputResult& result);

} // namespace kelvot::cli
