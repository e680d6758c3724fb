#include "cli/progress.h"

#include <cstdio>
#include <unistd.h>

namespace kelvot::cli {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

// Carriage return, then "erase to the end of the line".
constexpr const char* kEraseLine = "\r\033[K";

} // namespace

TerminalProgress::TerminalProgress(std::string what) : what_(std::move(what)), terminal_(::isatty(2) == 1) {}

TerminalProgress::~TerminalProgress() {
    Done();
}

Progress TerminalProgress::Entries() {
    if (!terminal_) return {};
    return [this](std::int32_t done, std::int32_t total) { Show(done, total, false); };
}

EditProgress TerminalProgress::Bytes() {
    if (!terminal_) return {};
    return [this](std::int64_t done, std::int64_t total) { Show(done, total, true); };
}

void TerminalProgress::Done() {
    if (!shown_) return;
    std::fputs(kEraseLine, stderr);
    std::fflush(stderr);
    shown_ = false;
}

void TerminalProgress::Show(std::int64_t done, std::int64_t total, bool bytes) {
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < kInterval) return;
    last_ = now;
    shown_ = true;
    if (bytes) {
        const long percent = total > 0 ? static_cast<long>(done * 100 / total) : 100;
        std::fprintf(stderr, "%s%s: %ld%% (%.1f of %.1f MiB)", kEraseLine, what_.c_str(), percent,
                     static_cast<double>(done) / 1048576, static_cast<double>(total) / 1048576);
    } else {
        std::fprintf(stderr, "%s%s: %lld of %lld entries", kEraseLine, what_.c_str(),
                     static_cast<long long>(done), static_cast<long long>(total));
    }
    std::fflush(stderr);
}

} // namespace kelvot::cli
