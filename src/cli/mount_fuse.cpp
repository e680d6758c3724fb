#define FUSE_USE_VERSION 31

#include "cli/mount_fuse.h"

#include "archive/error.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <memory>
#include <mutex>
#include <new>
#include <stop_token>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelvot::cli {

namespace {

using mount::Snapshot;

mount::ArchiveView& View() {
    return *static_cast<mount::ArchiveView*>(fuse_get_context()->private_data);
}

// What a path names in the mount.
struct Node {
    enum Kind { Top, PngFolder, Entry, Png } kind = Top;
    std::size_t position = 0; // in its folder
};

std::optional<Node> Resolve(const Snapshot& s, std::string_view path) {
    if (path == "/") return Node{Node::Top};
    path.remove_prefix(1);
    if (path == mount::kPngFolder) return Node{Node::PngFolder};
    const std::string prefix = std::string(mount::kPngFolder) + "/";
    if (path.starts_with(prefix)) {
        const auto k = s.Pngs().Names.Find(path.substr(prefix.size()));
        return k ? std::optional(Node{Node::Png, *k}) : std::nullopt;
    }
    const auto k = s.Top().Find(path);
    return k ? std::optional(Node{Node::Entry, *k}) : std::nullopt;
}

// Read-only files and folders of the mounting user, dated by the archive file.
void Describe(const Snapshot& s, const Node& node, struct stat& st) {
    st = {};
    const bool folder = node.kind == Node::Top || node.kind == Node::PngFolder;
    st.st_mode = folder ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st.st_nlink = node.kind == Node::Top ? 3 : folder ? 2 : 1;
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_atim = st.st_mtim = st.st_ctim = s.ModifiedTime();
    if (node.kind == Node::Entry) st.st_size = s.EntrySize(s.Top().Entries[node.position]);
    if (node.kind == Node::Png) st.st_size = s.Pngs().Sizes[node.position];
    st.st_blksize = 4096;
    st.st_blocks = (st.st_size + 511) / 512;
}

// No C++ exception may cross into libfuse: each becomes an error number.
template <class F> int Guarded(F f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    return Guarded([&] {
        const auto s = View().Current();
        const auto node = Resolve(*s, path);
        if (!node) return -ENOENT;
        Describe(*s, *node, *st);
        return 0;
    });
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, fuse_file_info*,
            fuse_readdir_flags flags) {
    return Guarded([&] {
        const auto s = View().Current();
        const auto node = Resolve(*s, path);
        if (!node) return -ENOENT;
        if (node->kind != Node::Top && node->kind != Node::PngFolder) return -ENOTDIR;
        // With readdirplus the kernel takes every file's attributes from the listing, sparing a lookup
        // each. Each line carries the offset of the next, so a large folder is listed in pieces.
        const bool plus = flags & FUSE_READDIR_PLUS;
        const bool top = node->kind == Node::Top;
        const auto& names = top ? s->Top().Names : s->Pngs().Names.Names;
        const off_t extra = top ? 3 : 2; // ".", ".." and png
        struct stat st {};
        for (off_t k = offset; k < extra + static_cast<off_t>(names.size()); ++k) {
            const auto position = static_cast<std::size_t>(k - extra);
            const Node shown = k == 0      ? *node
                               : k < 2     ? Node{Node::Top}
                               : k < extra ? Node{Node::PngFolder}
                                           : Node{top ? Node::Entry : Node::Png, position};
            const std::string& name = k == 0      ? "."
                                      : k == 1    ? ".."
                                      : k < extra ? std::string(mount::kPngFolder)
                                                  : names[position];
            if (plus) Describe(*s, shown, st);
            if (fill(buf, name.c_str(), plus ? &st : nullptr, k + 1,
                     plus ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{}) != 0)
                break;
        }
        return 0;
    });
}

// Whether the kernel takes ENOSYS from open as "no open needed" (older ones would fail the open); set
// once by Init, before any request.
bool kernelSkipsOpen = false;

// Files are not opened: the kernel then sends neither an open nor a release for each file, two of the
// four requests a file took. Each read finds its file by path in the current snapshot, so a file read
// while the archive is replaced goes on with the new entry of its name, or fails (ENOENT) if none is left.
int Open(const char*, fuse_file_info*) {
    return kernelSkipsOpen ? -ENOSYS : 0;
}

int Read(const char* path, char* buf, size_t size, off_t offset, fuse_file_info*) {
    return Guarded([&] {
        const auto s = View().Current();
        const auto node = Resolve(*s, path);
        if (!node) return -ENOENT;
        const std::span out{reinterpret_cast<std::uint8_t*>(buf), size};
        if (node->kind == Node::Entry)
            return static_cast<int>(s->ReadEntry(s->Top().Entries[node->position], offset, out));
        if (node->kind != Node::Png) return -EISDIR;
        const mount::Bytes png = s->Png(node->position);
        if (!png) return -EIO;
        const auto length = static_cast<off_t>(png->size());
        const auto n = offset >= length ? 0 : std::min<off_t>(static_cast<off_t>(size), length - offset);
        if (n > 0) std::memcpy(buf, png->data() + offset, static_cast<std::size_t>(n));
        return static_cast<int>(n);
    });
}

void* Init(fuse_conn_info* conn, fuse_config* cfg) {
    // Every listing carries the attributes (not only a folder's first piece), so a program that lists a
    // folder and then looks at each file, as tar and ls -l do, asks nothing more.
    conn->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
    kernelSkipsOpen = conn->capable & FUSE_CAP_NO_OPEN_SUPPORT;
    // The kernel keeps names, attributes and files' bytes for a while: they change only with the archive,
    // and then the watcher tells it to forget them.
    cfg->entry_timeout = 60.0;
    cfg->attr_timeout = 60.0;
    cfg->negative_timeout = 60.0;
    return fuse_get_context()->private_data;
}

// Everything that would change the file system.
int ReadOnly() {
    return -EROFS;
}

fuse_operations Operations() {
    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.mknod = [](const char*, mode_t, dev_t) { return ReadOnly(); };
    ops.mkdir = [](const char*, mode_t) { return ReadOnly(); };
    ops.unlink = [](const char*) { return ReadOnly(); };
    ops.rmdir = [](const char*) { return ReadOnly(); };
    ops.symlink = [](const char*, const char*) { return ReadOnly(); };
    ops.rename = [](const char*, const char*, unsigned) { return ReadOnly(); };
    ops.link = [](const char*, const char*) { return ReadOnly(); };
    ops.chmod = [](const char*, mode_t, fuse_file_info*) { return ReadOnly(); };
    ops.chown = [](const char*, uid_t, gid_t, fuse_file_info*) { return ReadOnly(); };
    ops.truncate = [](const char*, off_t, fuse_file_info*) { return ReadOnly(); };
    ops.write = [](const char*, const char*, size_t, off_t, fuse_file_info*) { return ReadOnly(); };
    ops.create = [](const char*, mode_t, fuse_file_info*) { return ReadOnly(); };
    ops.utimens = [](const char*, const timespec*, fuse_file_info*) { return ReadOnly(); };
    return ops;
}

// An option value with libfuse's separators escaped.
std::string OptionValue(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == ',' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// Looks at the archive's path once a second. When an edit has put a new archive there, the view takes
// it and the kernel is told to forget the names of both (png/ with its files) and the folders'
// attributes. Files are looked up again then, and the kernel drops the bytes it held of a file whose
// time or size has changed (every file shows the archive's time).
void Watch(std::stop_token stop, mount::ArchiveView& view, fuse* f) {
    std::mutex mutex;
    std::condition_variable_any tick;
    std::unique_lock lock(mutex);
    while (!tick.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; }) &&
           !stop.stop_requested()) {
        const auto old = view.Refresh();
        if (!old) continue;
        fuse_session* session = fuse_get_session(f);
        auto forget = [&](std::string_view name) {
            fuse_lowlevel_notify_inval_entry(session, FUSE_ROOT_ID, name.data(), name.size());
        };
        forget(mount::kPngFolder);
        // The new names too, which the kernel may hold as missing.
        for (const auto& snapshot : {old, view.Current()})
            for (const std::string& name : snapshot->Top().Names)
                forget(name);
        fuse_invalidate_path(f, "/");
        fuse_invalidate_path(f, ("/" + std::string(mount::kPngFolder)).c_str());
    }
}

} // namespace

int ServeMount(mount::ArchiveView& view, const MountRequest& request) {
    const std::string options = "ro,default_permissions,subtype=kelvot,fsname=" + OptionValue(request.FsName);
    const char* argv[] = {"kelvot-cli", "-o", options.c_str()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_operations ops = Operations();
    fuse* f = fuse_new(&args, &ops, sizeof ops, &view);
    fuse_opt_free_args(&args);
    if (!f || fuse_mount(f, request.MountPoint.c_str()) != 0) {
        if (f) fuse_destroy(f);
        // libfuse has printed the system's reason just before.
        throw KelvotError(EIO, "Cannot mount on " + request.MountPoint.string() + ".");
    }
    int status = 1;
    fuse_session* session = fuse_get_session(f);
    if (fuse_daemonize(request.Foreground ? 1 : 0) == 0 && fuse_set_signal_handlers(session) == 0) {
        // Started after fuse_daemonize, whose fork keeps only the calling thread.
        std::jthread watcher([&](std::stop_token stop) { Watch(stop, view, f); });
        // The loop ends with 0 on an unmount and with the signal's number on one of the signals.
        const int ended = fuse_loop_mt(f, 0);
        status = ended == 0 || ended == SIGINT || ended == SIGTERM || ended == SIGHUP ? 0 : 1;
        watcher.request_stop();
        watcher.join();
        fuse_remove_signal_handlers(session);
    }
    fuse_unmount(f);
    fuse_destroy(f);
    return status;
}

} // namespace kelvot::cli
