#include "cli/output_report.h"

#include "archive/error.h"

#include <iostream>

namespace kelvot::cli {

std::filesystem::path MakeFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) throw SystemError(ec.value(), "Cannot make the folder", path);
    return path;
}

int ReportProblems(const OutputResult& result) {
    for (const EntryProblem& p : result.Problems)
        std::cerr << "kelvot-cli: " << p.Description << '\n';
    return result.Problems.empty() ? 0 : 1;
}

} // namespace kelvot::cli
