#pragma once

// The FUSE file system of kelvot-cli mount: the archive view served read-only through libfuse's
// high-level interface.

#include "mount/archive_view.h"

#include <filesystem>
#include <string>

namespace kelvot::cli {

struct MountRequest {
    std::filesystem::path MountPoint;
    std::string FsName; // shown by mount and df: kelvot:ARCHIVENAME
    bool Foreground = false;
};

// Mounts the view and serves it until the file system is unmounted (fusermount3 -u) or the program gets
// SIGINT, SIGTERM or SIGHUP; then 0. Without Foreground the program goes to the background once mounted.
// A mount that fails throws KelvotError, after libfuse has said why on stderr.
int ServeMount(mount::ArchiveView& view, const MountRequest& request);

} // namespace kelvot::cli
