#include "archive/error.h"
#include "cli/commands.h"
#include "cli/mount_fuse.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unistd.h>

namespace kelvot::cli {

namespace fs = std::filesystem;

namespace {

// Whether a program of that name can run from a folder of PATH.
bool OnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const fs::path candidate = fs::path(folders.substr(0, colon)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        folders.remove_prefix(colon == std::string_view::npos ? folders.size() : colon + 1);
    }
    return false;
}

// Mounting needs the kernel's FUSE device and the setuid helper that mounts for a user.
void RequireFuse() {
    if (::access("/dev/fuse", F_OK) != 0)
        throw KelvotError(ENODEV, "Cannot mount: /dev/fuse is missing, so this system offers no FUSE.");
    if (!OnPath("fusermount3"))
        throw KelvotError(ENOENT, "Cannot mount: fusermount3 is not installed (Debian: apt install fuse3).");
}

void RequireEmptyFolder(const fs::path& folder) {
    std::error_code error;
    const auto status = fs::status(folder, error);
    if (!fs::exists(status))
        throw KelvotError(ENOENT, "Cannot mount on " + folder.string() + ": there is no such folder.");
    if (!fs::is_directory(status))
        throw KelvotError(ENOTDIR, "Cannot mount on " + folder.string() + ": it is not a folder.");
    if (!fs::is_empty(folder, error) || error)
        throw KelvotError(ENOTEMPTY, "Cannot mount on " + folder.string() + ": the folder is not empty.");
}

} // namespace

void AddMountCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand(
        "mount", "Show the archive as a read-only folder: its entries as files, its pictures as png/*.png");
    auto archive = std::make_shared<std::string>();
    auto mountPoint = std::make_shared<std::string>();
    auto foreground = std::make_shared<bool>(false);
    cmd->add_option("ARCHIVE", *archive, "The DAT file")->required();
    cmd->add_option("MOUNTPOINT", *mountPoint, "An empty folder to show it in")->required();
    cmd->add_flag("--foreground", *foreground,
                  "Stay in the foreground until Ctrl+C or fusermount3 -u (without it: unmount with "
                  "fusermount3 -u MOUNTPOINT)");
    cmd->callback([=, &status] {
        // The view reads the archive the way the other commands do, and keeps its path: absolute, since
        // the program leaves its folder when it goes to the background.
        const fs::path path = fs::absolute(*archive);
        mount::ArchiveView view(path);
        RequireEmptyFolder(*mountPoint);
        RequireFuse();
        status =
            ServeMount(view, {fs::absolute(*mountPoint), "kelvot:" + path.filename().string(), *foreground});
    });
}

} // namespace kelvot::cli
