#pragma once

// How far a long command is, shown on stderr when stderr is a terminal: one line such as
// "extract: 1200 of 32767 entries" rewritten in place (at the first step, then at most four times a
// second) and erased when the work ends, so the terminal keeps only the command's own output. When
// stderr is not a terminal nothing is written and the callbacks are empty.

#include "archive/output_result.h"
#include "editing/archive_writer.h"

#include <chrono>
#include <string>

namespace kelvot::cli {

class TerminalProgress {
  public:
    // `what` starts the line: the command's name.
    explicit TerminalProgress(std::string what);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // For work counted in entries, and in bytes of the archive written.
    Progress Entries();
    EditProgress Bytes();
    // Erases the line, before the command prints its results.
    void Done();

  private:
    void Show(std::int64_t done, std::int64_t total, bool bytes);

    std::string what_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

} // namespace kelvot::cli
