// Progress of the long commands: shown on stderr when it is a terminal, erased at the end, and nothing
// at all when stderr is a file.

#include "picture_builder.h"
#include "run_cli.h"

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kelvot;
using namespace kelvot::testkit;

namespace {

// Runs kelvot-cli with a pseudo-terminal as stdin, stdout and stderr; everything it wrote there.
std::string RunOnTerminal(const Args& args) {
    int terminal = -1, status = 0;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) ExecCli(args);
    EXPECT_GT(pid, 0) << "no pseudo-terminal";
    std::string text;
    char buffer[4096];
    // Reading ends with EIO once the program has ended and the terminal has no writer left.
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(terminal);
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0) << text;
    return text;
}

// Writes into dir what the commands that show progress work on; each leaves the next something to do.
std::vector<Args> Commands(const TempFolder& dir) {
    std::vector<TestEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({"P" + std::to_string(i) + ".MIP",
                           EncodePicture(RandomPicture(PictureKind::Mip, std::uint8_t(i % 6), 9, 7, i))});
    WriteFile(dir / "A.DAT", BuildArchive(entries));
    std::filesystem::create_directory(dir / "f");
    WriteFile(dir / "f/ONE.TXT", {'1'});
    WriteFile(dir / "f/P3.MIP", {'3'}); // its name is taken in A.DAT: add rebuilds
    const std::string a = (dir / "A.DAT").string(), d = dir.path().string();
    return {{"extract", a, d + "/x"},
            {"export", a, d + "/e", "--format", "bmp"},
            {"create", d + "/f", "C.DAT"},
            {"add", a, d + "/f/P3.MIP"},
            {"remove", a, "P7.MIP"}};
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(Progress, ShownOnlyOnATerminalAndErasedBeforeTheOutput) {
    TempFolder shown, plain;
    const auto onTerminal = Commands(shown), toFiles = Commands(plain);
    const std::string erase = "\r\033[K";
    for (std::size_t k = 0; k < onTerminal.size(); ++k) {
        const std::string& command = onTerminal[k][0];
        SCOPED_TRACE(command);
        // To files: the command's own output and nothing else.
        const CliResult r = RunCli(toFiles[k]);
        EXPECT_TRUE(r.status == 0 && r.err.empty() && r.out.find_first_of("\r\033") == std::string::npos)
            << r.err << r.out;
        // On a terminal the line starts at the first step and is erased before anything else is printed.
        const std::string text = RunOnTerminal(onTerminal[k]);
        ASSERT_TRUE(text.starts_with(erase + command + ": ")) << text;
        EXPECT_NE(text.find(command == "extract" || command == "export" ? " of 40 entries" : " MiB)"),
                  std::string::npos)
            << text;
        const std::size_t last = text.rfind(erase);
        EXPECT_EQ(text.substr(0, last).find('\n'), std::string::npos) << text;
        // What is left is the command's own output (the terminal writes "\n" as "\r\n").
        EXPECT_EQ(text.substr(last + erase.size()),
                  Replaced(Replaced(r.out, plain.path().string(), shown.path().string()), "\n", "\r\n"));
    }
}
