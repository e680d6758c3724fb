#include "cli/output_report.h"

#include "archive/error.h"

#include <iostream>

namespace kelvot::cli {

std::filesystem::path MakeFolder(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec == std::errc::file_exists) {
        // The name is taken by something that is no folder: say what.
        if (fs::is_symlink(path, ec) && !fs::exists(path, ec))
            throw KelvotError(EEXIST, "Cannot make the folder " + path + ": it is a symbolic link to " +
                                          fs::read_symlink(path, ec).string() + ", which does not exist.");
        throw KelvotError(EEXIST, "Cannot make the folder " + path + ": a file of that name is in the way.");
    }
    if (ec) throw SystemError(ec.value(), "Cannot make the folder", path);
    return path;
}

int ReportProblems(const OutputResult& result) {
    for (const EntryProblem& p : result.Problems)
        std::cerr << "kelvot-cli: " << p.Description << '\n';
    return result.Problems.empty() ? 0 : 1;
}

} // namespace kelvot::cli
