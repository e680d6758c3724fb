// Extract All of a 10,000-entry archive (entries of 1 to 64 KiB) beside `tar -xf` of the same files,
// each into an empty folder on the same file system; the median of several runs of each, and the ratios.
//
//   build/bench/extract_bench [WORK_FOLDER] [RUNS]
//
// Three ways are timed: ExtractEntries on an archive already open (as the window runs it), the whole
// `kelvot-cli extract` program (which loads the archive first), and the whole `tar -xf` program.

#include "archive/extract.h"
#include "archive_builder.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace kelvot;

namespace {

constexpr int kEntries = 10000;

void Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "kelvot_extract_bench";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const fs::path cli = fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "kelvot-cli";
    try {
        fs::remove_all(work);
        fs::create_directories(work / "files");
        std::mt19937 random(2024);
        std::vector<testkit::TestEntry> entries;
        std::int64_t total = 0;
        for (int i = 0; i < kEntries; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "F%05d.BIN", i);
            std::vector<std::uint8_t> data(1 + random() % (64 * 1024));
            for (auto& b : data)
                b = static_cast<std::uint8_t>(random());
            total += static_cast<std::int64_t>(data.size());
            testkit::WriteFile(work / "files" / name, data);
            entries.push_back({name, std::move(data)});
        }
        const fs::path archive = work / "GAME.DAT";
        testkit::WriteFile(archive, testkit::BuildArchive(entries));
        entries.clear();
        Run({"tar", "-cf", (work / "files.tar").string(), "-C", (work / "files").string(), "."});
        const ArchiveModel model = LoadArchive(archive);
        std::printf("%d entries, %.1f MiB; %d runs each, medians:\n", kEntries, total / 1048576.0, runs);

        // Each run writes into a folder of its own, and nothing is deleted until the end: ext4 makes new
        // files slowly for a while after many were deleted, which would punish whichever way came next.
        // Pending writes of the run before are flushed first, so that none is charged to the next.
        std::vector<double> inProcess, program, tar;
        int folders = 0;
        auto fresh = [&] {
            const fs::path out = work / ("out" + std::to_string(folders++));
            fs::create_directory(out);
            ::sync();
            return out;
        };
        for (int r = 0; r < runs; ++r) { // interleaved, so a slow moment of the machine hits all three
            fs::path out = fresh();
            inProcess.push_back(
                Seconds([&] { ExtractEntries(model, OpenForReading(archive), AllEntries(model), out); }));
            if (fs::exists(cli)) {
                out = fresh();
                program.push_back(Seconds([&] {
                    Run({cli.string(), "extract", archive.string(), out.string()});
                }));
            }
            out = fresh();
            tar.push_back(Seconds([&] {
                Run({"tar", "-xf", (work / "files.tar").string(), "-C", out.string()});
            }));
        }
        const double t = Median(tar);
        std::printf("  tar -xf                    %7.1f ms\n", t * 1e3);
        std::printf("  ExtractEntries (open)      %7.1f ms   ours/tar %.2f\n", Median(inProcess) * 1e3,
                    Median(inProcess) / t);
        if (!program.empty())
            std::printf("  kelvot-cli extract         %7.1f ms   ours/tar %.2f\n", Median(program) * 1e3,
                        Median(program) / t);
        fs::remove_all(work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "extract_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
